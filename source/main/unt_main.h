#pragma once
// TPelmarMain: the controller of the whole player. It builds every long-lived object in
// a fixed order, drives the audio engine from the playlist, reacts to the engine's
// events, serves the messages other processes send, and reaches the window's controls
// only through IMainView. Everything here runs on the UI thread.

#include "audio/AudioEngine.h"
#include "audio/EffectPresets.h"
#include "function/Dispatcher.h"
#include "lyrics/LrcClass.h"
#include "lyrics/LrcService.h"
#include "lyrics/LyricSync.h"
#include "main/CommandChannel.h"
#include "main/CommandRecord.h"
#include "main/MainView.h"
#include "main/PlayListModel.h"
#include "main/Settings.h"
#include "plugins/UPluginFramework.h"
#include "update/UntCkUpThread.h"

#include <cstdint>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vemro {

struct TStartup {
  std::vector<std::string> Args;  // the command line without the program name
  std::string ExeFolder;          // the program folder, ending in "/"
};

class TPelmarMain : private ILyricPlayer {
public:
  // The view and the desktop lyrics line must outlive the controller. A command on the
  // command line is handled once the event loop runs, exactly like one handed over by a
  // later start.
  TPelmarMain(IDispatcher& Dispatcher, IMainView& View, ILyricLine& DesktopLyrics,
              TCommandRecord& Record, const TStartup& Startup);
  // Closes a pending download file, then frees the engine, the plug-ins, the lyrics
  // service and the lyric store, in that order.
  ~TPelmarMain();
  TPelmarMain(const TPelmarMain&) = delete;
  TPelmarMain& operator=(const TPelmarMain&) = delete;

  // Messages 2734 and 1807 (others answer -1); the result is 1807's answer.
  int32_t HandleMessage(const TMessageFrame& Frame);
  // The window closes: the playlist and the settings are saved.
  void FormClose();

  // Transport.
  void btn_playClick();
  void btn_nextClick();
  void btn_previousClick();
  void tbrmainMouseDown(int32_t X, int32_t BarWidth);
  void tbrVChange(int32_t Value);
  void modBoxChange(int32_t Index);
  // A preset chosen in the sound-effect box applies at once.
  void effBoxChange(int32_t Index);

  // The list.
  void lbl_openClick();
  void plst_listItemDblClick();
  void pmdel_delselectClick();
  void pmdel_clearlistClick();
  // Index of the item under the mouse, or -1.
  void lstDefaultMouseMove(int32_t Index);

  TPlayListModel& ListModel() { return FList; }
  const std::vector<TPlayListItem>& PlayList() const { return FPlayList; }
  int32_t CurrentIndex() const { return FCurrentIndex; }
  TPlayMode PlayMode() const { return FSettings.PlayMode; }
  const TSettings& Settings() const { return FSettings; }
  const std::string& DataFolder() const { return FDataFolder; }
  TAudioEngine& Engine() { return *FEngine; }
  TLrcClass& LyricStore() { return *FLyrics; }

private:
  struct TDownload;

  std::optional<TLyricTrack> CurrentTrack() const override;
  bool IsPlaying() const override;
  int32_t TrackLengthMs() const override;
  bool ShowLyrics() const override;
  bool Online() const override;
  std::string LyricFolder() const override;

  void FormCreate(const TStartup& Startup);
  void ReadSettingsIntoControls();
  // Hands the failure hand-off what the settings save would write now.
  void KeepSettingsCrashCopy();

  void HandleCommandRecord();
  void RunCommand(const TCommand& Command);
  void AddFileCommand(const TCommand& Command);
  void AddNetListCommand(const TCommand& Command);
  int32_t RemoteControl(int32_t WParam, int32_t LParam);

  // Appends the file with its tag title (or its file name) and tag artist.
  void AddTaggedFile(const std::string& FileName);
  void RebuildPlayList(bool Clear);
  void LoadPlayList();
  void SavePlayList();
  void ShowListOrHint();
  void FinishDelete(int32_t Index);
  bool ListBusy() const { return FFading; }

  void PlayCurrent();
  bool Designates(int32_t Index) const {
    return Index >= 0 && Index < static_cast<int32_t>(FPlayList.size());
  }

  void EngineStateChanged(int32_t State);
  void EngineTrackEnded();
  void EngineTick(int32_t PositionMs);
  void EngineError(int32_t Code, int32_t Detail);
  void EngineDownload(const std::string& Block, bool Finished);
  void tmr_lanerrTimer();
  void PrepareDownload();
  // Decides, once the stream's size is known, whether the download is kept.
  void SettleDownload();
  void FinishDownload();
  void ApplyEffectPreset(int32_t Id);
  void StartUpdateCheck();

  // Reaction points at which the lyrics and the plug-ins take part.
  void SongStarted();
  void SongFinished();
  void Periodic(int32_t PositionMs);
  // Plug-in notification 108 or 109 about the entry at CurrentIndex.
  void NotifyPlugins(int32_t Code);

  IDispatcher& FDispatcher;
  IMainView& FView;
  ILyricLine& FDesktopLyrics;
  TCommandRecord& FRecord;
  std::string FExeFolder;
  std::string FDataFolder;
  TSettings FSettings;

  std::unique_ptr<TAudioEngine> FEngine;
  std::unique_ptr<TEffectPresets> FPresets;
  std::unique_ptr<TUSGeneralPurpose> FPlugins;
  std::unique_ptr<TLrcService> FLyricsService;
  std::unique_ptr<TLrcClass> FLyrics;
  std::unique_ptr<TLyricSync> FLyricSync;  // after the service and the store: it goes first
  std::unique_ptr<TCheckUPDate> FUpdateCheck;
  TPlayListModel FList;
  std::vector<TPlayListItem> FPlayList;
  int32_t FCurrentIndex = 0;

  int32_t FTickCount = 0;
  int32_t FProgressMax = 0;
  std::unique_ptr<TTimer> FLanErrTimer;
  std::unique_ptr<TDownload> FDownload;

  // While an item fades out, commands from other processes wait here.
  bool FFading = false;
  std::deque<TCommand> FDeferred;
  // Tasks posted from engine threads check it: they may run after the controller is gone.
  std::shared_ptr<int> FLifetime = std::make_shared<int>(0);
};

// The file name without folder and extension.
std::string FileTitle(const std::string& FileName);

}  // namespace vemro
