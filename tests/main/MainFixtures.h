#pragma once
// Real song files made on the spot, and a main window that records what the controller
// shows and answers its questions as the test says.

#include "TempDir.h"
#include "VirtualDispatcher.h"
#include "lyrics/LyricSync.h"
#include "main/MainView.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace vemro {
class TCommandRecord;
class TPelmarMain;
}

namespace vemro::test {

// A PCM WAV file of Seconds of a quiet tone (no tags).
std::string WavBytes(double Seconds);
// An MPEG-1 Layer I file of Seconds of silence behind an ID3v2.4 tag with Title and
// Artist (no tag when both are empty).
std::string TaggedMp3Bytes(double Seconds, const std::string& Title, const std::string& Artist);

class TTestView : public IMainView, public ILyricLine {
public:
  void ShowLine(const std::string& Line) override { DesktopLines.push_back(Line); }
  void SetTitleLine(const std::string& Text) override { TitleLine = Text; }
  void SetPlayButtonImage(TPlayButtonImage Image) override { PlayButton = Image; }
  void SetProgressMax(int32_t Max) override { ProgressMax = Max; }
  void SetProgressValue(int32_t Value) override { ProgressValue = Value; }
  double ProgressOpacity() const override { return Opacity; }
  void SetProgressOpacity(double Value) override { Opacity = Value; }
  void SetPlayModeIndex(int32_t Index) override { PlayModeIndex = Index; }
  void SetEffectPresets(const std::vector<std::string>& Names, int32_t Selected) override {
    Presets = Names;
    SelectedPreset = Selected;
  }
  void SetAutoRunChecked(bool Checked) override { AutoRun = Checked; }
  void SetShowLrcChecked(bool Checked) override { ShowLrc = Checked; }
  void SetVolumeSlider(int32_t Value) override { Volume = Value; }
  void SetLyricFolderText(const std::string& Text) override { LyricFolder = Text; }
  void SetMusicFolderText(const std::string& Text) override { MusicFolder = Text; }
  void SetListVisible(bool Visible) override { ListVisible = Visible; }
  int32_t ShowMessagePopup(const std::string& Text) override {
    Popups.push_back(Text);
    return PopupAnswer;
  }
  std::optional<std::vector<std::string>> ChooseFiles(const std::string& Filter) override {
    FileFilter = Filter;
    return FilesToChoose;
  }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  // The test ends the fade by calling the stored Done (or FinishFade).
  void FadeOutItem(int32_t Index, int32_t DurationMs, std::function<void()> Done) override {
    FadedIndex = Index;
    FadeMs = DurationMs;
    FadeDone = std::move(Done);
    if (FinishFadesAtOnce) FinishFade();
  }
  void FinishFade() {
    auto Done = std::move(FadeDone);
    FadeDone = nullptr;
    if (Done) Done();
  }

  std::vector<std::string> DesktopLines;
  std::string TitleLine;
  std::optional<TPlayButtonImage> PlayButton;
  int32_t ProgressMax = -1;
  int32_t ProgressValue = -1;
  double Opacity = 1;
  int32_t PlayModeIndex = -1;
  std::vector<std::string> Presets;
  int32_t SelectedPreset = -2;
  bool AutoRun = false;
  bool ShowLrc = false;
  int32_t Volume = -1;
  std::string LyricFolder;
  std::string MusicFolder;
  bool ListVisible = false;
  std::vector<std::string> Popups;
  int32_t PopupAnswer = kMsgYes;
  std::string FileFilter;
  std::optional<std::vector<std::string>> FilesToChoose;
  int32_t FadedIndex = -1;
  int32_t FadeMs = 0;
  std::function<void()> FadeDone;
  bool FinishFadesAtOnce = true;
};

// The controller on the virtual clock, in a home folder of its own (HOME and the XDG
// folders point into it) with a command record of its own.
class TControllerHome {
public:
  TControllerHome();
  ~TControllerHome();
  // The program folder of the build (VEMRO_PROGRAM_DIR), ending in "/".
  static std::string ProgramFolder();
  // A new controller, as the program builds it, with Args as its command line.
  void Start(std::vector<std::string> Args = {}, const std::string& ExeFolder = ProgramFolder());
  std::string DataFolder() const { return Home.File("Documents/vemro") + "/"; }

  TTempDir Home;
  std::string RecordName;
  std::unique_ptr<TCommandRecord> Record;
  TVirtualDispatcher D;
  TTestView View;
  std::unique_ptr<TPelmarMain> Main;  // last: it goes first
};

}  // namespace vemro::test
