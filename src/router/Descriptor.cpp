#include "router/Descriptor.h"

#include <unistd.h>

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

int Descriptor::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Descriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}
