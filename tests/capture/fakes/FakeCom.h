#pragma once
// Base of every fake Core Audio object: a real COM object with an atomic
// count that deletes itself at the last Release, and a process-wide count of
// live fakes so that every test can end by demanding zero.
//
// Every AddRef and Release is written to the fake log as "<name>.AddRef=<n>"
// or "<name>.Release=<n>", so tests can check which references were dropped,
// how often and in what order.
//
// Threads: any. The log and the live count are guarded (mutex, atomic).

#include <windows.h>

#include <unknwn.h>

#include <atomic>
#include <string>
#include <vector>

int fakeLiveObjects();
void noteFakeCreated();
void noteFakeDestroyed();

void logFake(std::string entry);
std::vector<std::string> fakeLog();
void clearFakeLog();
// The log entries that begin with `prefix`, in order.
std::vector<std::string> fakeLogStartingWith(const std::string& prefix);

template <class Interface>
class FakeCom : public Interface {
public:
    explicit FakeCom(std::string name) : name(std::move(name)) { noteFakeCreated(); }
    FakeCom(const FakeCom&) = delete;
    FakeCom& operator=(const FakeCom&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ULONG count = ++references;
        logFake(name + ".AddRef=" + std::to_string(count));
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --references;
        logFake(name + ".Release=" + std::to_string(count));
        if (count == 0) {
            delete this;
        }
        return count;
    }

    const std::string name;

protected:
    virtual ~FakeCom() { noteFakeDestroyed(); }

private:
    std::atomic<ULONG> references{1};
};
