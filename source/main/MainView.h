#pragma once
// What the controller asks of the main window's controls. The window binds the list
// view to the controller's TPlayListModel and implements this interface; its controls
// call the controller's handlers (btn_playClick, tbrVChange, ...) in return.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vemro {

enum class TPlayButtonImage { Play = 0, Pause = 1 };

// Answers of the message pop-up.
constexpr int32_t kMsgYes = 6;
constexpr int32_t kMsgNo = 7;

class IMainView {
public:
  virtual ~IMainView() = default;

  virtual void SetTitleLine(const std::string& Text) = 0;                 // lbl_title
  virtual void SetPlayButtonImage(TPlayButtonImage Image) = 0;            // btnPlay
  virtual void SetProgressMax(int32_t Max) = 0;                           // tbrmain
  virtual void SetProgressValue(int32_t Value) = 0;
  virtual double ProgressOpacity() const = 0;
  virtual void SetProgressOpacity(double Opacity) = 0;
  virtual void SetPlayModeIndex(int32_t Index) = 0;                       // modBox
  virtual void SetEffectPresets(const std::vector<std::string>& Names, int32_t Selected) = 0;
  virtual void SetAutoRunChecked(bool Checked) = 0;                       // chkAutoRun
  virtual void SetShowLrcChecked(bool Checked) = 0;                       // chkShowLrc
  virtual void SetVolumeSlider(int32_t Value) = 0;                        // tbrV, 0..100
  virtual void SetLyricFolderText(const std::string& Text) = 0;           // txtlrcPath
  virtual void SetMusicFolderText(const std::string& Text) = 0;           // txtmsPath
  // The list view, or the empty-list hint layAddMsg in its place.
  virtual void SetListVisible(bool Visible) = 0;
  // The modal message pop-up MsgPop1 with Text in lblmsg: kMsgYes or kMsgNo.
  virtual int32_t ShowMessagePopup(const std::string& Text) = 0;
  // The multi-selection open dialog dlgOpen1; nullopt when cancelled.
  virtual std::optional<std::vector<std::string>> ChooseFiles(const std::string& Filter) = 0;
  // The folder browser; nullopt when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& Title,
                                                  const std::string& Start) = 0;
  // Fades the list item at Index to transparent over DurationMs (linear), then calls
  // Done on the UI thread; events go on being processed meanwhile.
  virtual void FadeOutItem(int32_t Index, int32_t DurationMs, std::function<void()> Done) = 0;
};

}  // namespace vemro
