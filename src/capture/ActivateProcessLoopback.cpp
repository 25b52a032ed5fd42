#include "capture/ActivateProcessLoopback.h"
IAudioClient* ActivateProcessLoopback(std::uint32_t, HRESULT* resultCode) {
    if (resultCode) *resultCode = E_NOTIMPL;
    return nullptr;
}
