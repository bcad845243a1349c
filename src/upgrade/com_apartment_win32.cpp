#include "upgrade/com_apartment.h"

#include <windows.h>
// after windows.h, which it builds on
#include <objbase.h>

namespace kestrova {

TComApartment::TComApartment() {
  const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // S_FALSE: the thread was in an apartment already; the call still counts and must
  // be balanced. RPC_E_CHANGED_MODE: the thread is in the multi-threaded apartment,
  // where the shell's objects work as well, through their proxies.
  joined_ = SUCCEEDED(result);
  usable_ = joined_ || result == RPC_E_CHANGED_MODE;
}

TComApartment::~TComApartment() {
  if (joined_) ::CoUninitialize();
}

}  // namespace kestrova
