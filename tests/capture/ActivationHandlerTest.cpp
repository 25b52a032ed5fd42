// The completion handler as a COM object: its QueryInterface table, one
// identity and one count behind two interface tables, destruction at the last
// Release, and a completion that always reports success.

#include "windows/ActivationHandler.h"
#include "fakes/FakePlatformTest.h"

#include <initguid.h>

#include <thread>

namespace {

class ActivationHandlerTest : public FakePlatformTest {};

IActivateAudioInterfaceCompletionHandler* asHandler(ActivationHandler* h) {
    return h;
}
IAgileObject* asAgile(ActivationHandler* h) {
    return h;
}

// IAgileObject with one bit changed at each end: a comparison of only part
// of the 16 bytes would let one of them through.
IID agileWithLastByteChanged() {
    IID iid = __uuidof(IAgileObject);
    iid.Data4[7] ^= 1;
    return iid;
}
IID agileWithFirstFieldChanged() {
    IID iid = __uuidof(IAgileObject);
    iid.Data1 ^= 0x80000000u;
    return iid;
}

TEST_F(ActivationHandlerTest, QueryInterfaceAnswersExactlyThreeInterfacesThroughEitherTable) {
    auto* handler = new ActivationHandler;
    struct Case {
        const char* name;
        IID iid;
        void* expected;  // null: refused
    };
    const Case cases[] = {
        {"IUnknown", __uuidof(IUnknown), asHandler(handler)},
        {"completion handler", __uuidof(IActivateAudioInterfaceCompletionHandler), asHandler(handler)},
        {"IAgileObject", __uuidof(IAgileObject), asAgile(handler)},
        {"IAudioClient", __uuidof(IAudioClient), nullptr},
        {"IMarshal", IID_IMarshal, nullptr},
        {"IAgileObject, last byte changed", agileWithLastByteChanged(), nullptr},
        {"IAgileObject, first field changed", agileWithFirstFieldChanged(), nullptr},
    };
    for (IUnknown* through : {static_cast<IUnknown*>(asHandler(handler)), static_cast<IUnknown*>(asAgile(handler))}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            void* out = reinterpret_cast<void*>(0x1);  // must be overwritten either way
            HRESULT result = through->QueryInterface(c.iid, &out);
            EXPECT_EQ(out, c.expected);
            if (c.expected != nullptr) {
                EXPECT_EQ(result, S_OK);
                // The answer carried one reference: 1 + 1 before this AddRef.
                EXPECT_EQ(through->AddRef(), 3u);
                EXPECT_EQ(through->Release(), 2u);
                EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
            } else {
                EXPECT_EQ(result, static_cast<HRESULT>(0x80004002));
                EXPECT_EQ(through->AddRef(), 2u) << "a refused QueryInterface changed the count";
                EXPECT_EQ(through->Release(), 1u);
            }
        }
    }
    EXPECT_EQ(asHandler(handler)->Release(), 0u);
}

TEST_F(ActivationHandlerTest, BothTablesShareOneIdentityAndOneCount) {
    auto* handler = new ActivationHandler;
    IUnknown* viaHandler = nullptr;
    IUnknown* viaAgile = nullptr;
    ASSERT_EQ(asHandler(handler)->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&viaHandler)), S_OK);
    ASSERT_EQ(asAgile(handler)->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&viaAgile)), S_OK);
    EXPECT_EQ(viaHandler, viaAgile);
    EXPECT_EQ(viaHandler, static_cast<IUnknown*>(asHandler(handler)));
    EXPECT_NE(static_cast<void*>(asAgile(handler)), static_cast<void*>(asHandler(handler)));

    // 1 (creator) + 2 (the two answers) so far; each AddRef and Release
    // returns the count its own operation produced, whichever table it used.
    EXPECT_EQ(asAgile(handler)->AddRef(), 4u);
    EXPECT_EQ(asHandler(handler)->AddRef(), 5u);
    EXPECT_EQ(asHandler(handler)->Release(), 4u);
    EXPECT_EQ(asAgile(handler)->Release(), 3u);
    EXPECT_EQ(viaAgile->Release(), 2u);
    EXPECT_EQ(viaHandler->Release(), 1u);
    // The last reference may come back through the agile table.
    EXPECT_EQ(asAgile(handler)->Release(), 0u);
    // Its event was closed with it: the fixture finds no handle left open.
}

TEST_F(ActivationHandlerTest, CompletionSignalsAManualResetEventOnce) {
    auto* handler = new ActivationHandler;
    ASSERT_NE(handler->completionEvent, nullptr);
    EXPECT_EQ(WaitForSingleObject(handler->completionEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(handler->ActivateCompleted(nullptr), S_OK);
    EXPECT_EQ(WaitForSingleObject(handler->completionEvent, 0), WAIT_OBJECT_0);
    // Manual reset: a waiter that comes late still sees the completion.
    EXPECT_EQ(WaitForSingleObject(handler->completionEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(asHandler(handler)->Release(), 0u);
}

TEST_F(ActivationHandlerTest, CompletionReportsSuccessEvenWhenSignallingFails) {
    auto* handler = new ActivationHandler;
    // Take the event away, as if it could not be created.
    CloseHandle(handler->completionEvent);
    handler->completionEvent = nullptr;
    EXPECT_EQ(handler->ActivateCompleted(nullptr), S_OK);
    EXPECT_EQ(asHandler(handler)->Release(), 0u);
}

TEST_F(ActivationHandlerTest, LastReleaseFromAnotherThreadDestroysIt) {
    // As after a time-out: the creator lets go first, the system's thread
    // completes late and drops the last reference.
    auto* handler = new ActivationHandler;
    EXPECT_EQ(asHandler(handler)->AddRef(), 2u);
    EXPECT_EQ(asHandler(handler)->Release(), 1u);
    HRESULT completed = E_FAIL;
    ULONG lastCount = 99;
    std::thread([&] {
        completed = asHandler(handler)->ActivateCompleted(nullptr);
        lastCount = asHandler(handler)->Release();
    }).join();
    EXPECT_EQ(completed, S_OK);
    EXPECT_EQ(lastCount, 0u);
}

}  // namespace
