// The example parent, record-wav, run as a user would run it against the
// shipped exe: it must record exactly the seconds asked for, as a float WAV
// that holds what was playing, and stop the exe cleanly.

#include "SoundAnalysis.h"
#include "WavFile.h"
#include "harness/BlackboxTest.h"

namespace blackbox {
namespace {

class RecordWav : public BlackboxTest {};

std::string narrow(const std::wstring& wide) {
    return std::string(wide.begin(), wide.end());  // build paths are ASCII
}

TEST_F(RecordWav, RecordsTheAskedSecondsOfWhatPlaysAndStopsTheProgram) {
    startPlayer({.frequency = 440, .level = 8192});
    CreateDirectoryW(scratchFolder().c_str(), nullptr);
    std::wstring wavPath = scratchFolder() + L"\\" + fakeNamespace() + L".wav";
    ProgramOptions options{recordWavPath(), {L"2", wavPath, exePath(), L"--all-except", L"0"}, {}};
    ProgramUnderTest recorder(options);
    ASSERT_TRUE(recorder.started());
    recorder.startReading();
    auto code = recorder.waitForExit(60000);
    ASSERT_TRUE(code.has_value());
    recorder.closeOutput();
    EXPECT_EQ(*code, 0u) << recorder.standardError();
    std::string report = recorder.outputBytes();
    EXPECT_NE(report.find("recorded 200 blocks"), std::string::npos) << report;
    EXPECT_NE(report.find("program exit code: 0"), std::string::npos) << report;

    auto wav = sound::readWav(narrow(wavPath));
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->formatTag, 3);
    EXPECT_EQ(wav->channels, 2);
    EXPECT_EQ(wav->sampleRate, 48000u);
    EXPECT_EQ(wav->bitsPerSample, 32);
    ASSERT_EQ(wav->samples.size(), 200u * samplesPerBlock);
    std::span<const float> lastSecond(wav->samples.data() + 100 * samplesPerBlock, 100 * samplesPerBlock);
    EXPECT_NEAR(sound::toneLevel(lastSecond, 0, 440), 0.25, 0.05);
    EXPECT_NEAR(sound::toneLevel(lastSecond, 1, 440), 0.25, 0.05);
    DeleteFileW(wavPath.c_str());
}

TEST_F(RecordWav, ReportsWhatTheProgramSaidWhenItDoesNotGetReady) {
    // No target: the program prints its usage line and ends with code 1.
    std::wstring wavPath = scratchFolder() + L"\\" + fakeNamespace() + L"-none.wav";
    CreateDirectoryW(scratchFolder().c_str(), nullptr);
    ProgramUnderTest recorder(ProgramOptions{recordWavPath(), {L"1", wavPath, exePath(), L"--self", L"5"}, {}});
    recorder.startReading();
    auto code = recorder.waitForExit(30000);
    ASSERT_TRUE(code.has_value());
    recorder.closeOutput();
    EXPECT_NE(*code, 0u);
    EXPECT_NE(recorder.standardError().find("usage: vintra-app-audio"), std::string::npos) << recorder.standardError();
    EXPECT_NE(recorder.outputBytes().find("program exit code: 1"), std::string::npos) << recorder.outputBytes();
    DeleteFileW(wavPath.c_str());
}

}  // namespace
}  // namespace blackbox
