#pragma once
// A multipart/form-data body laid out byte for byte the way the web service
// expects it, streamed from its parts (the file is read while sending).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/ReadStream.h"

namespace snapora {

class MultipartForm {
public:
    // The boundary comes from the local time of the body's creation.
    explicit MultipartForm(const LocalTime& created);

    const std::string& Boundary() const { return boundary_; }
    std::string ContentType() const { return "multipart/form-data; boundary=" + boundary_; }

    void AddField(const std::string& name, const std::string& value);
    // The file stays open until the form is released; its size counts as of now.
    void AddFile(const std::string& name, const std::string& path, const std::string& contentType,
                 std::unique_ptr<ReadStream> file);

    // The whole body's length, the closing boundary included.
    std::uint64_t Size() const;
    // Reads the next bytes of the body; 0 at its end.
    std::size_t Read(char* buffer, std::size_t count);
    // The whole body at once (small bodies and tests).
    std::string ReadAll();

private:
    struct Segment {
        std::string text;                  // used when file is null
        std::unique_ptr<ReadStream> file;  // or a file's contents
        std::uint64_t size = 0;
    };
    void AppendText(const std::string& text);

    std::string boundary_;
    std::vector<Segment> segments_;
    size_t current_ = 0;         // segment being read
    std::uint64_t offset_ = 0;   // position inside it
    bool closed_ = false;
};

std::string BoundaryFor(const LocalTime& time);

}  // namespace snapora
