#include "output/OutputBuffer.h"

namespace fluviagen {

namespace {

constexpr std::size_t bufferSize = 1 << 16;

}  // namespace

OutputBuffer::OutputBuffer() : buffer_(bufferSize) {}

bool OutputBuffer::open(const std::string& path) {
    close();
    if (file_.create(path, common::AtPath::replace) != 0) return false;
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return true;
}

bool OutputBuffer::writeBuffered() {
    const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    // After a failure the rest is dropped (by the file): the first reason is
    // the one to report.
    if (size > 0) file_.write(pbase(), size);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return file_.error() == 0;
}

OutputBuffer::int_type OutputBuffer::overflow(int_type c) {
    if (!isOpen() || !writeBuffered()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

int OutputBuffer::sync() { return isOpen() && writeBuffered() ? 0 : -1; }

bool OutputBuffer::close() {
    if (!isOpen()) return file_.error() == 0;
    writeBuffered();
    file_.close();
    setp(nullptr, nullptr);
    return file_.error() == 0;
}

}  // namespace fluviagen
