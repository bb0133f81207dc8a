#pragma once
// Reading of a QIODevice through a block buffer, a byte or a run of buffered bytes at a time,
// shared by the line reader of the coefficient text file and the field reader of the
// settings file. A read error ends the stream like its end does, with failed() set.

#include <QByteArray>
#include <QIODevice>

#include <string_view>

namespace korvane {

class BufferedByteReader {
public:
    explicit BufferedByteReader(QIODevice &device, qint64 blockSize) : device_(device), blockSize_(blockSize) { }

    [[nodiscard]] bool failed() const { return failed_; }

protected:
    // The next byte (0..255) without consuming it, or -1 at the end or after a read error.
    int peek()
    {
        if (pos_ >= size_ && !fill())
            return -1;
        return static_cast<unsigned char>(data_[pos_]);
    }
    int take()
    {
        const int c = peek();
        if (c >= 0)
            ++pos_;
        return c;
    }

    // The bytes buffered from the current position on, refilled when none are left; empty at
    // the end or after a read error. consume(n) moves past n of them.
    std::string_view buffered()
    {
        if (pos_ >= size_ && !fill())
            return {};
        return {data_ + pos_, static_cast<size_t>(size_ - pos_)};
    }
    void consume(size_t n) { pos_ += static_cast<qsizetype>(n); }

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
            data_ = nullptr;
            size_ = 0;
            failed_ = got < 0;
            atEnd_ = true;
            return false;
        }
        buffer_.resize(got);
        data_ = buffer_.constData();
        size_ = buffer_.size();
        return true;
    }

    QIODevice &device_;
    const qint64 blockSize_;
    QByteArray buffer_;
    // buffer_'s bytes, kept apart so a peek is one compare and one load: QByteArray's
    // operator[] checks for a shared copy at every byte.
    const char *data_ = nullptr;
    qsizetype size_ = 0;
    qsizetype pos_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
};

} // namespace korvane
