#pragma once
// The main window's controls and the desktop lyrics line when the player runs without its windows (Qt's offscreen
// platform, or until a window is bound): it keeps what it is shown, asks nobody, and
// answers every question with "no".

#include "function/Dispatcher.h"
#include "lyrics/LyricSync.h"
#include "main/MainView.h"

#include <memory>

namespace vemro {

class THeadlessView : public IMainView, public ILyricLine {
public:
  explicit THeadlessView(IDispatcher& Dispatcher) : FDispatcher(Dispatcher) {}

  void ShowLine(const std::string&) override {}

  void SetTitleLine(const std::string&) override {}
  void SetPlayButtonImage(TPlayButtonImage) override {}
  void SetProgressMax(int32_t) override {}
  void SetProgressValue(int32_t) override {}
  double ProgressOpacity() const override { return FProgressOpacity; }
  void SetProgressOpacity(double Opacity) override { FProgressOpacity = Opacity; }
  void SetPlayModeIndex(int32_t) override {}
  void SetEffectPresets(const std::vector<std::string>&, int32_t) override {}
  void SetAutoRunChecked(bool) override {}
  void SetShowLrcChecked(bool) override {}
  void SetVolumeSlider(int32_t) override {}
  void SetLyricFolderText(const std::string&) override {}
  void SetMusicFolderText(const std::string&) override {}
  void SetListVisible(bool) override {}
  int32_t ShowMessagePopup(const std::string&) override { return kMsgNo; }
  std::optional<std::vector<std::string>> ChooseFiles(const std::string&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
  void FadeOutItem(int32_t Index, int32_t DurationMs, std::function<void()> Done) override;

private:
  IDispatcher& FDispatcher;
  double FProgressOpacity = 0;
  std::unique_ptr<TTimer> FFade;
};

}  // namespace vemro
