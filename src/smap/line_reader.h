// Lines of an SMAP buffer: a line ends at LF, CR or CR LF, and the
// terminator is consumed. Lines are views into the buffer, never past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class SMAPLineReader {
public:
    SMAPLineReader(const uint8_t *bytes, int length)
        : text_(reinterpret_cast<const char *>(bytes), bytes != nullptr && length > 0 ? static_cast<size_t>(length) : 0) {}

    // False at the end of the input.
    bool next(std::string_view *line) {
        if (at_ >= text_.size()) return false;
        size_t end = at_;
        while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
        *line = text_.substr(at_, end - at_);
        at_ = end;
        if (end < text_.size()) {
            at_ = end + 1;
            if (text_[end] == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
        }
        return true;
    }
    bool atEnd() const { return at_ >= text_.size(); }

private:
    std::string_view text_;
    size_t at_ = 0;
};
