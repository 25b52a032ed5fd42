// ActivateAudioInterfaceAsync for "VAD\Process_Loopback", as Windows does it:
// the request is checked at once, and the completion handler is called later
// on a thread of the fake's own, with the activated client (or the failure)
// waiting in the operation object for GetActivateResult.

#include "FakeRuntime.h"
#include "LoopbackClient.h"

#include <mmdeviceapi.h>
#include <propidl.h>

#include <cwchar>

namespace fakeplatform {
namespace {

// Windows' activation record (audioclientactivationparams.h), which the
// cross toolchain's headers lack.
struct ActivationParams {
    DWORD activationType;   // 1: process loopback
    DWORD targetProcessId;
    DWORD loopbackMode;     // 0: include the target's process tree
};
static_assert(sizeof(ActivationParams) == 12);

// The code Windows gives for a call made in the wrong state; the cross
// toolchain's headers do not define it.
constexpr HRESULT illegalMethodCall = static_cast<HRESULT>(0x8000000EL);

constexpr wchar_t loopbackPath[] = L"VAD\\Process_Loopback";

class ActivationOperation final : public ComObject<IActivateAudioInterfaceAsyncOperation> {
public:
    ActivationOperation(DWORD pid, IActivateAudioInterfaceCompletionHandler* completion)
        : ComObject(accounts().operationsCreated, accounts().operationsDestroyed), target(pid), handler(completion) {
        handler->AddRef();
        bump(accounts().handlerReferencesTaken);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IActivateAudioInterfaceAsyncOperation) ||
            riid == __uuidof(IAgileObject))
            return give(static_cast<IActivateAudioInterfaceAsyncOperation*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE GetActivateResult(HRESULT* activateResult, IUnknown** activated) override {
        if (!activateResult || !activated) return E_POINTER;
        if (!completed) return illegalMethodCall;
        if (failMode == fake::activationGetResultFails) return result;
        *activateResult = result;
        *activated = client;
        if (client) client->AddRef();
        return S_OK;
    }

    // Runs on the activation's own thread: waits for any injected delay,
    // decides the outcome, then tells the handler.
    void complete() {
        holdWhileDelayed();
        const fake::Faults& f = faults();
        if (fake::selects(f.activationFailPid, target)) {
            failMode = f.activationFailMode;
            result = f.activationFailCode;
            if (failMode == fake::activationNoInterface && result < 0) result = S_OK;
            if (failMode != fake::activationNoInterface && result >= 0) result = E_FAIL;
        } else if (processIsLive(target)) {
            client = static_cast<IUnknown*>(new LoopbackClient(target));
            result = S_OK;
            bump(accounts().activationsSucceeded);
        } else {
            // No such process: Windows refuses the target.
            result = E_INVALIDARG;
        }
        MemoryBarrier();
        completed = true;
        bump(accounts().activationsCompleted);
        handler->ActivateCompleted(this);
        // Windows drops its reference to the handler once it has been told.
        handler->Release();
        bump(accounts().handlerReferencesDropped);
        handler = nullptr;
    }

private:
    ~ActivationOperation() override {
        if (client) client->Release();
        if (handler) {  // never completed: the thread could not be started
            handler->Release();
            bump(accounts().handlerReferencesDropped);
        }
    }

    void holdWhileDelayed() {
        const fake::Faults& f = faults();
        if (!fake::selects(f.activationDelayPid, target)) return;
        const LONG delay = f.activationDelayMs;
        if (delay == fake::delayForever) {
            // Held until the test clears the fault (or the process ends).
            while (fake::selects(f.activationDelayPid, target) && f.activationDelayMs == fake::delayForever) Sleep(10);
        } else if (delay > 0) {
            Sleep(static_cast<DWORD>(delay));
        }
    }

    const DWORD target;
    IActivateAudioInterfaceCompletionHandler* handler;  // one reference until completion
    volatile bool completed = false;
    LONG failMode = fake::activationResultFails;
    HRESULT result = E_FAIL;
    IUnknown* client = nullptr;  // one reference, handed out again by each GetActivateResult
};

DWORD WINAPI completionThread(void* parameter) {
    auto* operation = static_cast<ActivationOperation*>(parameter);
    operation->complete();
    operation->Release();  // the thread's reference
    return 0;
}

HRESULT checkRequest(const WCHAR* path, REFIID riid, const PROPVARIANT* params,
                     IActivateAudioInterfaceCompletionHandler* handler, IActivateAudioInterfaceAsyncOperation** out,
                     DWORD& pid) {
    if (!path || !params || !handler || !out) return E_INVALIDARG;
    if (std::wcscmp(path, loopbackPath) != 0 || riid != __uuidof(IAudioClient)) return E_INVALIDARG;
    if (params->vt != VT_BLOB || params->blob.cbSize != sizeof(ActivationParams) || !params->blob.pBlobData)
        return E_INVALIDARG;
    const auto* request = reinterpret_cast<const ActivationParams*>(params->blob.pBlobData);
    if (request->activationType != 1 || request->loopbackMode != 0) return E_INVALIDARG;
    pid = request->targetProcessId;
    // Windows calls the handler from a thread of its own, so the handler
    // must declare itself agile.
    IUnknown* agile = nullptr;
    if (FAILED(handler->QueryInterface(__uuidof(IAgileObject), reinterpret_cast<void**>(&agile))) || !agile)
        return illegalMethodCall;
    agile->Release();
    const fake::Faults& f = faults();
    if (fake::selects(f.activationFailPid, pid) && f.activationFailMode == fake::activationRefused)
        return f.activationFailCode < 0 ? f.activationFailCode : E_FAIL;
    return S_OK;
}

}  // namespace
}  // namespace fakeplatform

extern "C" HRESULT WINAPI ActivateAudioInterfaceAsync(const WCHAR* path, REFIID riid, PROPVARIANT* params,
                                                      IActivateAudioInterfaceCompletionHandler* handler,
                                                      IActivateAudioInterfaceAsyncOperation** operation) {
    using namespace fakeplatform;
    bump(accounts().activationsRequested);
    if (operation) *operation = nullptr;
    DWORD pid = 0;
    const HRESULT refused = checkRequest(path, riid, params, handler, operation, pid);
    if (FAILED(refused)) {
        bump(accounts().activationsRefused);
        return refused;
    }
    auto* op = new ActivationOperation(pid, handler);
    op->AddRef();  // the completion thread's reference
    HANDLE thread = CreateThread(nullptr, 0, completionThread, op, 0, nullptr);
    if (!thread) {
        op->Release();
        op->Release();
        bump(accounts().activationsRefused);
        return HRESULT_FROM_WIN32(GetLastError());
    }
    CloseHandle(thread);
    *operation = op;
    return S_OK;
}
