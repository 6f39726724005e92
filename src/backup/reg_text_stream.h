// The text of a backup file as it goes to the disk: registry editor text
// built in the system code page (the registry's) with "\n" line ends, written with CR LF line
// ends either as it is (REGEDIT4 files) or as UTF-16LE after a byte-order
// mark (version 5 files, which is how the registry editor of Windows 2000
// and XP reads text data in them). Every entry is written whole: if any part
// of it cannot be written, the file is cut back to the end of the entry
// before, so that the file never ends in half an entry, and the stream
// refuses everything after. Entries are on the disk once flushed; a flush
// that fails cuts the file back to what the last good flush left in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/file_probe.h"

namespace qm {

class RegTextStream {
  public:
    enum class Encoding {
        kCodePage,  // the text's own bytes
        kUtf16,     // UTF-16LE with a byte-order mark
    };
    // The text is in `codePage`, which must outlive the stream.
    RegTextStream(std::unique_ptr<FileStream> file, Encoding encoding,
                  const CodePage& codePage = CodePage::Windows1252());
    RegTextStream(const RegTextStream&) = delete;
    RegTextStream& operator=(const RegTextStream&) = delete;

    // Writes `text` and flushes it to the disk. True only when all of it was
    // written and flushed.
    bool Append(std::string_view text) { return Write(text) && Flush(); }
    // Writes `text` as one entry, to be flushed later. False when the stream
    // failed; what came before it is then flushed when that can be done.
    bool Write(std::string_view text);
    // Puts every entry written so far on the disk. False when the stream
    // failed (now or before).
    bool Flush();

    // True once a write, flush or close has failed.
    bool failed() const { return failed_; }
    Encoding encoding() const { return encoding_; }
    // Bytes in the file that belong to complete entries, and how many of
    // them are known to be on the disk.
    uint64_t size() const { return size_; }
    uint64_t flushed() const { return flushed_; }

    // The code page whose bytes become the UTF-16LE bytes that the version 5
    // format holds for text data; null for the code-page form (the bytes
    // stay as they are).
    const CodePage* TextDataForm() const {
        return encoding_ == Encoding::kUtf16 ? &codePage_ : nullptr;
    }

    // Flushes and closes the file. False when it failed now or before.
    bool Close();

  private:
    std::unique_ptr<FileStream> file_;
    Encoding encoding_;
    const CodePage& codePage_;
    // Cuts the file back to `size` and flushes it; the stream has failed.
    void CutBack(uint64_t size);

    uint64_t size_ = 0;
    uint64_t flushed_ = 0;
    bool failed_ = false;
};

// The code-page bytes `data` as UTF-16LE.
std::vector<uint8_t> Utf16LeBytes(const CodePage& codePage, const uint8_t* data, size_t size);

}  // namespace qm
