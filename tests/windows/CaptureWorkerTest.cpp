// A capture source opened through the fake: its worker takes every packet
// waiting at one wake, goes on after a failing GetBuffer, and its stop ends
// the worker before the stream, releases the capture client before the audio
// client and closes the event last, as the fake checks; and the event is
// closed, as this process sees itself.

#include "FakeWorld.h"
#include "windows/OpenCaptureSource.h"

#include <mutex>
#include <thread>

namespace {

class CaptureWorker : public FakeWorld {};

TEST_F(CaptureWorker, DrainsGoesOnAfterAFailureAndStopsInOrder) {
    faults().manualPackets = 1;
    auto source = openCaptureSource(4242);
    ASSERT_TRUE(source);
    const auto queue = [](LONG packets) { InterlockedAdd(&faults().queuedPackets, packets); };

    queue(5);
    ASSERT_TRUE(eventually([] { return counts().delivered == 5; }));
    EXPECT_GE(counts().sameWakePackets, 4) << "each waiting packet was taken at a wake of its own";
    std::unique_lock fifo(source->lock);
    EXPECT_EQ(source->fifo.front(), 0.0f) << "a silent packet's loud buffer was heard";  // 4242 has no session
    fifo.unlock();

    faults().getBufferFailures = 1;
    queue(3);
    EXPECT_TRUE(eventually([] { return counts().delivered == 8; })) << "capture ended at a failed GetBuffer";

    // Stopped while the worker is inside GetBuffer: a stop that touched the
    // stream before its worker had ended would reach the fake in that time.
    faults().holdGetBuffer = 1;
    queue(1);
    ASSERT_TRUE(eventually([] { return counts().heldGetBuffers == 1; }));
    const HANDLE event = source->captureEvent.get();
    HANDLE ours = nullptr;
    DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &ours, 0, FALSE, DUPLICATE_SAME_ACCESS);
    std::thread stopper([&] { source->stop(); });
    Sleep(300);
    faults().holdGetBuffer = 0;
    stopper.join();
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
    EXPECT_TRUE(eventually([] { return counts().objects == 0; })) << "clients left alive";
    EXPECT_FALSE(fake::sameObject(event, ours)) << "the source's event was left open";
    CloseHandle(ours);
}

}  // namespace
