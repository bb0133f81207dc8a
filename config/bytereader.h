#pragma once
// Byte-at-a-time reading of a QIODevice through a block buffer, shared by the line reader of
// the coefficient text file and the field reader of the settings file. A read error ends the
// stream like its end does, with failed() set.

#include <QByteArray>
#include <QIODevice>

namespace korvane {

class BufferedByteReader {
public:
    explicit BufferedByteReader(QIODevice &device, qint64 blockSize) : device_(device), blockSize_(blockSize) {}

    [[nodiscard]] bool failed() const { return failed_; }

protected:
    // The next byte (0..255) without consuming it, or -1 at the end or after a read error.
    int peek()
    {
        if (pos_ >= buffer_.size() && !fill())
            return -1;
        return static_cast<unsigned char>(buffer_[pos_]);
    }
    int take()
    {
        const int c = peek();
        if (c >= 0)
            ++pos_;
        return c;
    }

private:
    bool fill()
    {
        if (failed_ || atEnd_)
            return false;
        buffer_.resize(blockSize_);
        const qint64 got = device_.read(buffer_.data(), blockSize_);
        pos_ = 0;
        if (got <= 0) {
            buffer_.clear();
            failed_ = got < 0;
            atEnd_ = true;
            return false;
        }
        buffer_.resize(got);
        return true;
    }

    QIODevice &device_;
    const qint64 blockSize_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
};

} // namespace korvane
