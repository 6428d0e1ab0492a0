#pragma once
// The library's one output-stream abstraction and the adapters that chain
// encoders, MIME parts and the socket together.
#include <cstdint>

namespace Smtp {

class ISerialStream64Out {
 public:
  virtual ~ISerialStream64Out() = default;
  // written, where given, receives how many bytes the stream passed on.
  virtual uint32_t Write(const void* data, uint64_t size, uint64_t* written) = 0;
};

// Write once for all: WriteData sees a non-null buffer of at least one byte.
template <class Base>
class Stream64WriteHelper : public Base {
 public:
  uint32_t Write(const void* data, uint64_t size, uint64_t* written) override {
    if (written) *written = 0;
    if (data == nullptr && size != 0) return 1;
    if (size == 0) return 0;
    return WriteData(data, size, written);
  }
  virtual uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) = 0;
};

// The next stream of a chain; not owned.
template <class Base>
class Stream64Container {
 protected:
  explicit Stream64Container(Base* next) : next_(next) {}
  Base* next_;
};

template <class Base>
class Stream64Wrapper : public Stream64WriteHelper<Base>, public Stream64Container<Base> {
 public:
  explicit Stream64Wrapper(Base* next) : Stream64Container<Base>(next) {}
};

template <class Base>
class Stream64AdapterBase : public Stream64Wrapper<Base> {
 public:
  Stream64AdapterBase() : Stream64Wrapper<Base>(nullptr) {}
  uint32_t WriteData(const void* data, uint64_t size, uint64_t* written) override {
    if (this->next_ == nullptr) return 1;
    return this->next_->Write(data, size, written);
  }
  virtual uint32_t Attach(Base* next) {
    this->next_ = next;
    return 0;
  }
  virtual void Detach() { this->next_ = nullptr; }
};

template <class Base>
class CodingBaseStream : public Stream64AdapterBase<Base> {
 public:
  virtual uint32_t Begin() { return 0; }
  virtual uint32_t Finish() { return 0; }
};

}  // namespace Smtp
