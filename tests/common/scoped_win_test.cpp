#include <doctest/doctest.h>
#include <windows.h>
#include <unknwn.h>

#include <utility>

#include "common/scoped_win.h"

namespace {

// Counts what its owners give back.
class Counted final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

}  // namespace

TEST_CASE("a COM owner gives back each reference once: at its end, on reset, before taking a new one, never twice") {
  Counted first, second;
  {
    ScopedCom<IUnknown> owner(&first);
    ScopedCom<IUnknown> moved = std::move(owner);
    CHECK_FALSE(owner);
    CHECK(moved->AddRef() == 2);
    moved->Release();
    *moved.Out() = &second;  // as a call that hands out a new one
    CHECK(first.references == 0);
    CHECK(moved.Get() == &second);
    owner = std::move(moved);
  }
  CHECK(second.references == 0);
}
