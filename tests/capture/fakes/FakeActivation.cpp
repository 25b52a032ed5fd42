#include "fakes/FakeActivation.h"

#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {

class FakeOperation final : public FakeCom<IActivateAudioInterfaceAsyncOperation> {
public:
    FakeOperation(IActivateAudioInterfaceCompletionHandler* handler, const ActivationPlan& plan)
        : FakeCom("operation"),
          handler(handler),
          getResultReturns(plan.getResultReturns),
          activateResult(plan.activateResult),
          activated(plan.activated) {
        handler->AddRef();
    }

    HRESULT STDMETHODCALLTYPE GetActivateResult(HRESULT* result, IUnknown** iface) override {
        logFake("operation.GetActivateResult");
        if (getResultReturns < 0) {
            return getResultReturns;
        }
        *result = activateResult;
        *iface = activated;
        if (activated != nullptr) {
            activated->AddRef();
        }
        return getResultReturns;
    }

    // What the system does when the activation ends: report it, then drop
    // its reference to the handler.
    ULONG complete() {
        handler->ActivateCompleted(this);
        ULONG count = handler->Release();
        handler = nullptr;
        return count;
    }

private:
    ~FakeOperation() override {
        if (activated != nullptr) {
            activated->Release();
        }
        if (handler != nullptr) {
            handler->Release();
        }
    }

    IActivateAudioInterfaceCompletionHandler* handler;
    HRESULT getResultReturns;
    HRESULT activateResult;
    IUnknown* activated;
};

std::mutex fakeActivationLock;  // guards plan, record, held, completers
ActivationPlan plan;
ActivationRecord record;
FakeOperation* held = nullptr;  // one reference, the fake's own
std::vector<std::thread> completers;

void noteCompletion(ULONG count) {
    std::lock_guard<std::mutex> guard(fakeActivationLock);
    record.handlerLastRelease = count;
}

}  // namespace

void planActivation(ActivationPlan next) {
    std::lock_guard<std::mutex> guard(fakeActivationLock);
    if (plan.activated != nullptr) {
        plan.activated->Release();
    }
    plan = next;
    record = ActivationRecord{};
}

ActivationRecord activationRecord() {
    std::lock_guard<std::mutex> guard(fakeActivationLock);
    return record;
}

void completeHeldActivation() {
    FakeOperation* operation = nullptr;
    {
        std::lock_guard<std::mutex> guard(fakeActivationLock);
        operation = std::exchange(held, nullptr);
    }
    if (operation != nullptr) {
        noteCompletion(operation->complete());
        operation->Release();
    }
}

void finishActivations() {
    completeHeldActivation();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(fakeActivationLock);
        threads.swap(completers);
        if (plan.activated != nullptr) {
            plan.activated->Release();
        }
        plan = ActivationPlan{};
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

HRESULT WINAPI fakeActivateAudioInterfaceAsync(LPCWSTR deviceInterfacePath, REFIID riid,
                                               PROPVARIANT* activationParams,
                                               IActivateAudioInterfaceCompletionHandler* completionHandler,
                                               IActivateAudioInterfaceAsyncOperation** activationOperation) {
    std::unique_lock<std::mutex> guard(fakeActivationLock);
    ++record.calls;
    record.devicePath = deviceInterfacePath != nullptr ? deviceInterfacePath : L"";
    record.requestedIid = riid;
    record.vt = activationParams->vt;
    record.reserved[0] = activationParams->wReserved1;
    record.reserved[1] = activationParams->wReserved2;
    record.reserved[2] = activationParams->wReserved3;
    record.blobSize = activationParams->blob.cbSize;
    record.blob.assign(activationParams->blob.pBlobData,
                       activationParams->blob.pBlobData + activationParams->blob.cbSize);
    record.operationPreset = *activationOperation == nullptr;

    // The system asks for IAgileObject before calling from its own threads.
    IUnknown* agile = nullptr;
    if (completionHandler->QueryInterface(__uuidof(IAgileObject), reinterpret_cast<void**>(&agile)) >= 0 &&
        agile != nullptr) {
        record.handlerAnsweredAgile = true;
        agile->Release();
    }

    if (plan.refuse < 0) {
        return plan.refuse;
    }
    auto* operation = new FakeOperation(completionHandler, plan);
    plan.activated = nullptr;  // now the operation's
    *activationOperation = operation;
    switch (plan.completion) {
    case Completion::immediately: {
        guard.unlock();
        noteCompletion(operation->complete());
        break;
    }
    case Completion::fromAnotherThread:
        operation->AddRef();
        completers.emplace_back([operation] {
            Sleep(20);
            noteCompletion(operation->complete());
            operation->Release();
        });
        break;
    case Completion::whenTriggered:
        operation->AddRef();
        held = operation;
        break;
    }
    return S_OK;
}

IUnknown* newFakeUnknown() {
    return new FakeCom<IUnknown>("activated");
}
