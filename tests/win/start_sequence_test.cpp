// The starter's start sequence through its view, without the window: what it
// shows, when it is busy, and what it leaves on disk (the real vtwd.exe is
// driven by the starter program's tests).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/win/program_log.h"
#include "starter/win/start_sequence.h"
#include "support/test_support.h"

using namespace vt;
using namespace vt::test;
using vt::starter::StartOutcome;
using vt::starter::StartSequence;

namespace {

class RecordingView final : public starter::StartSequenceView {
public:
    void ShowProblem(const std::string& text) override { problems.push_back(text); }
    void SetBusy(bool busy) override { busyStates.push_back(busy); }

    std::vector<std::string> problems;
    std::vector<bool> busyStates;
};

// An installation: EXE with the game and the starter's settings, DATA\AUDIO
// with the stand-in game as the multiplayer executable.
class Sequence : public ::testing::Test {
protected:
    Sequence() {
        MakeFolder(root / "EXE");
        MakeFolder(root / "DATA");
        MakeFolder(root / "DATA\\AUDIO");
        WriteFileBytes(root / "EXE\\Skyreach.exe", "the game as installed");
        WriteFileBytes(root / "EXE\\settings.ini", "the player's settings");
        ::CopyFileA((BuildDir() + "tools\\vt_standin_game.exe").c_str(), (root / "DATA\\AUDIO\\ambienteA.utf").c_str(),
                    FALSE);
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", (root / "report.txt").c_str());
    }
    ~Sequence() override { ::SetEnvironmentVariableA("VT_STANDIN_REPORT", nullptr); }

    StartOutcome Run(const std::string& config = "") {
        WriteFileBytes(root / "EXE\\UPDATE.CFG", config);
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < config.size();) {
            std::size_t end = config.find("\r\n", start);
            if (end == std::string::npos) end = config.size();
            lines.push_back(config.substr(start, end - start));
            start = end + 2;
        }
        settings = MakeStarterSettings(root / "EXE\\", lines);
        return StartSequence(settings, false, view, log).Run();
    }

    TempDir root;
    StarterSettings settings;
    RecordingView view;
    win::ProgramLog log;
};

}  // namespace

TEST_F(Sequence, TheGameRunsInTheCloneAndTheCloneGoesWhenItEnds) {
    EXPECT_EQ(Run(), StartOutcome::GameEnded);
    EXPECT_TRUE(view.problems.empty()) << view.problems[0];
    // Busy around each long step, and never left busy: true and false in turn, ending with false.
    ASSERT_FALSE(view.busyStates.empty());
    for (std::size_t i = 0; i < view.busyStates.size(); ++i) EXPECT_EQ(view.busyStates[i], i % 2 == 0) << i;
    EXPECT_FALSE(view.busyStates.back());
    const std::string report = ReadFileBytes(root / "report.txt");
    EXPECT_NE(report.find(root / "EXE2\\Skyreach.exe"), std::string::npos) << "not the clone's game:\n" << report;
    EXPECT_FALSE(PathExists(root / "EXE2")) << "the clone stayed";
    EXPECT_EQ(ReadFileBytes(root / "EXE\\settings.ini"), "the player's settings");
}

TEST_F(Sequence, AMissingGameIsOneBoxWithE6AndNoGameStarts) {
    ::DeleteFileA((root / "DATA\\AUDIO\\ambienteA.utf").c_str());
    EXPECT_EQ(Run(), StartOutcome::GameMissing);
    EXPECT_EQ(view.problems, std::vector<std::string>{"Problem starting Multiplayer ... [E6]"});
    EXPECT_FALSE(PathExists(root / "report.txt")) << "a game ran";
}

TEST_F(Sequence, AClonePlaceThatIsTheGamesOwnFolderIsRefusedWithNothingDone) {
    EXPECT_EQ(Run("CLONEDIR=..\\EXE\\\r\n"), StartOutcome::Refused);
    ASSERT_EQ(view.problems.size(), 1u);
    EXPECT_EQ(view.problems[0].rfind("The clone folder ", 0), 0u) << view.problems[0];
    EXPECT_TRUE(view.busyStates.empty()) << "busy before a refusal";
    EXPECT_EQ(ReadFileBytes(root / "EXE\\Skyreach.exe"), "the game as installed");
    EXPECT_FALSE(PathExists(root / "report.txt"));
}

// A scanner holds what the clone is copied from for a moment: the folder's
// file and the mode's executable are waited for, and the game starts.
TEST_F(Sequence, SourcesHeldForAMomentAreWaitedForAndTheGameStarts) {
    {
        HeldFile settingsHeld(root / "EXE\\settings.ini", 1500);
        HeldFile gameHeld(root / "DATA\\AUDIO\\ambienteA.utf", 1500);
        ASSERT_TRUE(settingsHeld.Held() && gameHeld.Held());
        EXPECT_EQ(Run(), StartOutcome::GameEnded);
    }
    EXPECT_TRUE(view.problems.empty()) << view.problems[0];
    const std::string report = ReadFileBytes(root / "report.txt");
    EXPECT_NE(report.find(root / "EXE2\\Skyreach.exe"), std::string::npos) << "no game ran in the clone:\n" << report;
}
