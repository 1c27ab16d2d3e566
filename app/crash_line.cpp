#include "app/crash_line.h"

namespace {

// Hand-made rather than snprintf: the C runtime's formatting may take locks
// that the crashed thread still holds.
class LineWriter {
public:
    LineWriter(char* out, size_t capacity) : out_(out), capacity_(capacity) {}

    void text(const char* s)
    {
        while (*s) put(*s++);
    }
    void hex(uint64_t value, int digits)
    {
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) put("0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
    // The length, NUL-terminated; 0 when anything did not fit.
    size_t finish()
    {
        if (overflow_ || length_ >= capacity_) return 0;
        out_[length_] = '\0';
        return length_;
    }

private:
    void put(char c)
    {
        if (length_ + 1 >= capacity_) {
            overflow_ = true;
            return;
        }
        out_[length_++] = c;
    }

    char* out_;
    size_t capacity_;
    size_t length_ = 0;
    bool overflow_ = false;
};

}  // namespace

size_t formatCrashLine(char* out, size_t capacity, uint32_t code, uint64_t rva, const uint64_t* frames,
                       size_t frameCount)
{
    if (!out || capacity == 0) return 0;
    out[0] = '\0';
    LineWriter line(out, capacity);
    line.text("code=");
    line.hex(code, 8);
    line.text(" rva=");
    line.hex(rva, 16);
    line.text(" frames:");
    if (frameCount > kCrashMaxFrames) frameCount = kCrashMaxFrames;
    for (size_t i = 0; i < frameCount; ++i) {
        line.text(" ");
        line.hex(frames[i], 16);
    }
    // The log is a Windows text file: lines end in CR LF.
    line.text("\r\n");
    return line.finish();
}
