#include "backup/reg_text_stream.h"

#include <utility>

namespace qm {

RegTextStream::RegTextStream(std::unique_ptr<FileStream> file, Encoding encoding,
                             const CodePage& codePage)
    : file_(std::move(file)), encoding_(encoding), codePage_(codePage) {
    if (!file_) failed_ = true;
}

bool RegTextStream::Write(std::string_view text) {
    if (failed_) return false;
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16 + 2);
    for (char c : text) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    std::string bytes;
    if (encoding_ == Encoding::kCodePage) {
        bytes = std::move(crlf);
    } else {
        const std::u16string wide = codePage_.ToUtf16(crlf);
        bytes.reserve(2 + wide.size() * 2);
        if (size_ == 0) bytes += "\xFF\xFE";
        for (char16_t unit : wide) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
    }
    if (file_->Write(bytes.data(), bytes.size())) {
        size_ += bytes.size();
        return true;
    }
    // Whatever part of the entry reached the file goes again, so that a
    // later import never meets a half-written value.
    CutBack(size_);
    return false;
}

bool RegTextStream::Flush() {
    if (failed_) return false;
    if (file_->Flush()) {
        flushed_ = size_;
        return true;
    }
    // Entries whose flush failed may or may not be on the disk: they go.
    CutBack(flushed_);
    return false;
}

void RegTextStream::CutBack(uint64_t size) {
    // The complete entries stay when they can be flushed, else only what
    // the last good flush put on the disk.
    if (file_->Truncate(size) && file_->Flush()) {
        flushed_ = size_ = size;
    } else if (size != flushed_ && file_->Truncate(flushed_)) {
        size_ = flushed_;
        file_->Flush();
    }
    failed_ = true;
}

bool RegTextStream::Close() {
    if (file_) {
        if (!failed_ && !file_->Flush()) failed_ = true;
        file_.reset();
    }
    return !failed_;
}

std::vector<uint8_t> Utf16LeBytes(const CodePage& codePage, const uint8_t* data, size_t size) {
    const std::u16string wide =
        codePage.ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<uint8_t> bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

}  // namespace qm
