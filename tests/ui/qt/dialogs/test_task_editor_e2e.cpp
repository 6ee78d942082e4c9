// The task editor as a user drives it, on the application object started
// from a start file, reading the simulator on a pseudo-terminal.
#include <QCheckBox>
#include <QRadioButton>
#include <cstdlib>
#include <filesystem>

#include "sim/PcdSim.h"
#include "ui/qt/dialogs/EditorTestSupport.h"

namespace pelkor {
namespace {

struct TaskEditorEndToEnd : EditorFixture {
    void StartOn(const std::string& port) {
        setenv("PELSBUS_COM1", port.c_str(), 1);
        std::ofstream(file)
            << "[Pelkor]\nVersion=3\nTask=1\n[Connection]\nAutoConnect=0\nStation=0\n"
            << "[Task1]\nComments=first\nData=R 1\nFileType=None\n";
        ASSERT_TRUE(t.app.Start(file + " PG5=20", t.dir.path()));
        Open();
    }
};

TEST_F(TaskEditorEndToEnd, NewTaskSavedReadNowAndFoundOnDisk) {
    pcdsim::Simulator sim;
    auto& station = sim.AddStation(0);
    station.SetRegister(10, 1234);
    station.SetRegister(11, -5);
    station.SetFlag(3, true);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    StartOn(sim.SlavePath());

    Click(w, "New");
    Type("txbData", "r 10 [2]; f 3");
    Control<QRadioButton>(w, "optFileType_0")->click();
    std::filesystem::create_directories(t.dir.file("out"));
    Set("txbFolder", QString::fromStdString(t.dir.file("out")));
    Set("txbFileName", "");
    Type("txbFileName", "editor");
    Click(w, "Save");
    EXPECT_TRUE(t.ui.Messages().empty()) << t.ui.LastMessage()->Text;
    EXPECT_EQ(Key(2, "Data"), "R 10 [2],F 3");
    EXPECT_EQ(Key(2, "FileType"), "CSV");
    EXPECT_EQ(Key(2, "FileName"), "editor");

    Click(w, "cmdRead");
    EXPECT_EQ(Text("txbLastRead").toStdString().substr(Text("txbLastRead").indexOf(';') + 1),
              "1234;-5;1");
    EXPECT_EQ(ctx.Status.Connected, 0); // the connection Read Now opened is closed again
    EXPECT_EQ(Text("txbError"), "");
    std::string csv;
    for (const auto& e : std::filesystem::directory_iterator(t.dir.file("out")))
        if (e.path().filename().string().rfind("editor", 0) == 0) csv = ReadAll(e.path().string());
    EXPECT_NE(csv.find(Text("txbLastRead").toStdString() + "\r\n"), std::string::npos) << csv;
}

TEST_F(TaskEditorEndToEnd, ReadNowShowsTheConnectionErrorInRed) {
    StartOn(t.dir.file("no-such-port"));
    Control<QRadioButton>(w, "optFileType_0");
    Click(w, "cmdRead");
    EXPECT_EQ(Text("txbError").left(24), "Open Connection Error : ");
    EXPECT_TRUE(Control<QLineEdit>(w, "txbError")->styleSheet().contains("red"));
    EXPECT_EQ(ctx.Status.ManualReading, 0);
}

} // namespace
} // namespace pelkor
