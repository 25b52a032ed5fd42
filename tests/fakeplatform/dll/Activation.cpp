// ActivateAudioInterfaceAsync for "VAD\Process_Loopback", as Windows does
// it: the request is checked at once, and the completion handler is called
// later on a thread of the fake's own, the outcome waiting in the operation
// for GetActivateResult. The fake holds one reference to the handler until
// it has told it, and notes what the handler's Release answered then.

#include "Runtime.h"

#include <audioclient.h>

#include <mmdeviceapi.h>
#include <propidl.h>

#include <cwchar>
#include <utility>

namespace fakeplatform {
namespace {

// What an activation hands over when QueryInterface for IAudioClient is to fail.
class NotAClient final : public ComObject<IAgileObject> {};

class Operation final : public ComObject<IActivateAudioInterfaceAsyncOperation> {
public:
    Operation(DWORD target, IActivateAudioInterfaceCompletionHandler* handler) : target(target), handler(handler) {
        handler->AddRef();
    }

    // Hands its reference to what was activated over, so that nothing the
    // program holds waits on the completion thread's last Release.
    HRESULT STDMETHODCALLTYPE GetActivateResult(HRESULT* result, IUnknown** activated) override {
        if (!result || !activated || !completed) return MISUSE;
        if (fault == fake::failGetResult) return code;
        *result = code;
        *activated = std::exchange(client, nullptr);
        return S_OK;
    }

    // On the completion thread.
    void complete() {
        if (fake::selects(faults().holdActivations, target)) {
            bump(counts().heldActivations);
            while (fake::selects(faults().holdActivations, target)) Sleep(5);
            bump(counts().heldActivations, -1);
        }
        fault = fake::selects(faults().activationPid, target) ? faults().activationFault : 0;
        code = fault ? faults().activationCode : S_OK;
        if (fault == 0) client = newClient(target);
        if (fault == fake::failQueryInterface) client = new NotAClient;
        if (client) code = S_OK;
        completed = true;
        handler->ActivateCompleted(this);
        InterlockedExchange(&counts().handlerLastCount, static_cast<LONG>(handler->Release()));
    }

private:
    ~Operation() override {
        if (client) client->Release();
    }

    const DWORD target;
    IActivateAudioInterfaceCompletionHandler* const handler;
    volatile bool completed = false;
    LONG fault = 0;
    HRESULT code = E_FAIL;
    IUnknown* client = nullptr;  // one reference until GetActivateResult
};

// The request the program makes: Windows' 12-byte record of type 1 (process
// loopback), the pid, and mode 0 (the target's whole process tree).
bool askedAsTheProgramAsks(const WCHAR* path, REFIID iid, const PROPVARIANT* params, void* handler, void* operation) {
    const auto* request = params ? reinterpret_cast<const DWORD*>(params->blob.pBlobData) : nullptr;
    return path && std::wcscmp(path, L"VAD\\Process_Loopback") == 0 && iid == __uuidof(IAudioClient) && request &&
           params->vt == VT_BLOB && params->blob.cbSize == 12 && request[0] == 1 && request[2] == 0 && handler &&
           operation;
}

// A handler that the system calls from threads of its own must declare itself
// agile, keep its identity, refuse what it is not, and count each reference.
// As the documentation asks, it also aggregates a free-threaded marshaler:
// an IMarshal that answers the handler's identity and unmarshals in-process
// as the free-threaded marshaler does.
bool answersAsAHandlerMust(IActivateAudioInterfaceCompletionHandler* handler) {
    // CLSID_InProcFreeMarshaler as the system's marshaler answers it (the
    // cross toolchain's uuid library holds another value under that name).
    constexpr CLSID inProcFreeMarshaler{0x0000033A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    // What a query of `object` left in `out` (a reference it gave is dropped again).
    const auto ask = [](IUnknown* object, REFIID iid, void* out) {
        if (object->QueryInterface(iid, &out) == S_OK && out) static_cast<IUnknown*>(out)->Release();
        return out;
    };
    IMarshal* marshal = nullptr;
    CLSID unmarshaler{};
    const bool freeThreaded =
        handler->QueryInterface(__uuidof(IMarshal), reinterpret_cast<void**>(&marshal)) == S_OK && marshal &&
        ask(marshal, __uuidof(IUnknown), nullptr) == handler &&
        marshal->GetUnmarshalClass(__uuidof(IUnknown), handler, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL,
                                   &unmarshaler) == S_OK &&
        unmarshaler == inProcFreeMarshaler;
    if (marshal) marshal->Release();
    return freeThreaded && ask(handler, __uuidof(IAgileObject), nullptr) &&
           ask(handler, __uuidof(IUnknown), nullptr) == handler && !ask(handler, __uuidof(IAudioClient), handler) &&
           handler->AddRef() == 2 && handler->Release() == 1;
}

}  // namespace
}  // namespace fakeplatform

extern "C" HRESULT WINAPI ActivateAudioInterfaceAsync(const WCHAR* path, REFIID iid, PROPVARIANT* params,
                                                      IActivateAudioInterfaceCompletionHandler* handler,
                                                      IActivateAudioInterfaceAsyncOperation** operation) {
    using namespace fakeplatform;
    if (!askedAsTheProgramAsks(path, iid, params, handler, operation) || !answersAsAHandlerMust(handler)) return MISUSE;
    const DWORD target = reinterpret_cast<const DWORD*>(params->blob.pBlobData)[1];
    if (fake::selects(faults().activationPid, target) && faults().activationFault == fake::refuse) {
        return faults().activationCode;
    }
    auto* started = new Operation(target, handler);
    started->AddRef();  // one for the program, one for the completion thread
    *operation = started;
    CloseHandle(CreateThread(nullptr, 0, [](void* operation) -> DWORD {
        static_cast<Operation*>(operation)->complete();
        static_cast<Operation*>(operation)->Release();
        return 0;
    }, started, 0, nullptr));
    return S_OK;
}
