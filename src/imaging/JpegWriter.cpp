#include "imaging/JpegWriter.h"

#include <cstdlib>

#include "imaging/JpegSession.h"

namespace snapora {

namespace {

struct StopWatch {
    jpeg_progress_mgr progress{};
    const std::atomic<bool>* stop = nullptr;
    bool stopped = false;
};

// Called by libjpeg between rows: a stop leaves the compression as an error would.
void CheckStop(j_common_ptr info) {
    auto* watch = static_cast<StopWatch*>(info->client_data);
    if (!watch->stop->load(std::memory_order_relaxed)) return;
    watch->stopped = true;
    (*info->err->error_exit)(info);
}

}  // namespace

std::optional<std::string> EncodeJpegUnlessStopped(const Bitmap& picture, int quality, const std::atomic<bool>& stop) {
    jpeg::CheckPicture(picture);

    jpeg_compress_struct info{};
    jpeg::ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpeg::OnError;
    StopWatch watch;
    watch.stop = &stop;
    watch.progress.progress_monitor = CheckStop;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;

    if (setjmp(errors.escape)) {  // libjpeg reports its errors by jumping back here
        jpeg_destroy_compress(&info);
        std::free(out);
        if (watch.stopped) return std::nullopt;
        throw std::runtime_error(std::string("JPEG-Fehler: ") + errors.message);
    }
    jpeg_create_compress(&info);
    info.client_data = &watch;
    info.progress = &watch.progress;
    jpeg_mem_dest(&info, &out, &outSize);
    jpeg::Configure(info, picture, quality);
    jpeg_start_compress(&info, TRUE);
    jpeg::WriteRows(info, picture);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    std::string bytes(reinterpret_cast<const char*>(out), outSize);
    std::free(out);
    return bytes;
}

std::string EncodeJpeg(const Bitmap& picture, int quality) {
    static const std::atomic<bool> never{false};
    return *EncodeJpegUnlessStopped(picture, quality, never);
}

}  // namespace snapora
