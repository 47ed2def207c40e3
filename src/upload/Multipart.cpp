#include "upload/Multipart.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace snapora {

std::string BoundaryFor(const LocalTime& t) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d%02d%02d%03d", t.month % 100, t.day % 100, t.year % 100,
                  t.hour % 100, t.minute % 100, t.second % 100, t.millisecond % 1000);
    return std::string(8, '-') + digits;
}

MultipartForm::MultipartForm(const LocalTime& created) : boundary_(BoundaryFor(created)) {}

void MultipartForm::AppendText(const std::string& text) {
    if (segments_.empty() || segments_.back().file) segments_.push_back({});
    segments_.back().text += text;
    segments_.back().size = segments_.back().text.size();
}

void MultipartForm::AddField(const std::string& name, const std::string& value) {
    AppendText("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
               "\r\n");
}

void MultipartForm::AddFile(const std::string& name, const std::string& path, const std::string& contentType,
                            std::unique_ptr<ReadStream> file) {
    AppendText("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + path +
               "\"\r\nContent-Type: " + contentType + "\r\nContent-Transfer-Encoding: binary\r\n\r\n");
    Segment segment;
    segment.size = file->Size();
    segment.file = std::move(file);
    segments_.push_back(std::move(segment));
    AppendText("\r\n");
}

std::uint64_t MultipartForm::Size() const {
    std::uint64_t total = 0;
    for (const Segment& s : segments_) total += s.size;
    if (!closed_) total += boundary_.size() + 6;  // "--" boundary "--" CR LF, still to come
    return total;
}

std::size_t MultipartForm::Read(char* buffer, std::size_t count) {
    if (!closed_) {
        AppendText("--" + boundary_ + "--\r\n");
        closed_ = true;
    }
    std::size_t done = 0;
    while (done < count && current_ < segments_.size()) {
        Segment& s = segments_[current_];
        std::size_t want = std::size_t(std::min<std::uint64_t>(count - done, s.size - offset_));
        std::size_t got = 0;
        if (s.file) {
            got = want ? s.file->Read(buffer + done, want) : 0;
            // The announced length can no longer hold: better no upload than a broken one.
            if (got == 0 && want) throw std::runtime_error("Die Datei wurde während des Sendens kürzer.");
        } else {
            std::memcpy(buffer + done, s.text.data() + offset_, want);
            got = want;
        }
        done += got;
        offset_ += got;
        if (offset_ >= s.size) {
            ++current_;
            offset_ = 0;
        }
    }
    return done;
}

std::string MultipartForm::ReadAll() {
    std::string body;
    char chunk[16384];
    for (std::size_t n; (n = Read(chunk, sizeof chunk)) > 0;) body.append(chunk, n);
    return body;
}

}  // namespace snapora
