#include "windows/ActivateProcessLoopback.h"

#include "windows/ActivationHandler.h"

IAudioClient* ActivateProcessLoopback(std::uint32_t processId, HRESULT* resultCode) {
    return activateProcessLoopbackWithin(processId, resultCode, activationWaitMilliseconds);
}

IAudioClient* activateProcessLoopbackWithin(std::uint32_t processId, HRESULT* resultCode, DWORD waitMilliseconds) {
    // Both locals are only lent to the system for the duration of the call;
    // the variant points at the record and owns nothing, so it is never cleared.
    AUDIOCLIENT_ACTIVATION_PARAMS params{};
    params.ActivationType = AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK;
    params.ProcessLoopbackParams.TargetProcessId = processId;
    params.ProcessLoopbackParams.ProcessLoopbackMode = PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE;
    PROPVARIANT variant{};
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof params;
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);

    auto* handler = new ActivationHandler;

    IAudioClient* client = nullptr;
    IActivateAudioInterfaceAsyncOperation* operation = nullptr;
    HRESULT code = activateAudioInterfaceAsync(VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK, __uuidof(IAudioClient),
                                               &variant, handler, &operation);
    if (code >= 0) {
        // After a time-out the system may still complete later: it holds its
        // own reference to the handler, and its last Release destroys it.
        if (WaitForSingleObject(handler->completionEvent, waitMilliseconds) != WAIT_OBJECT_0) {
            code = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        } else {
            HRESULT activateResult = E_FAIL;
            IUnknown* activated = nullptr;
            // An accepted request always comes with an operation; should the
            // platform break that promise, fail instead of calling through null.
            code = operation != nullptr ? operation->GetActivateResult(&activateResult, &activated) : E_POINTER;
            if (code >= 0) {
                code = activateResult;
            }
            if (code >= 0 && activated != nullptr) {
                code = activated->QueryInterface(__uuidof(IAudioClient), reinterpret_cast<void**>(&client));
            }
            if (activated != nullptr) {
                activated->Release();
            }
        }
    }
    // Reverse order of acquisition: the operation came after the handler.
    if (operation != nullptr) {
        operation->Release();
    }
    static_cast<IActivateAudioInterfaceCompletionHandler*>(handler)->Release();

    if (resultCode != nullptr) {
        *resultCode = code;
    }
    if (code < 0) {
        // A QueryInterface that failed yet still wrote an interface would
        // otherwise leak it.
        if (client != nullptr) {
            client->Release();
        }
        return nullptr;
    }
    return client;
}
