#include "main/unt_main.h"

#include "function/FastStrings.h"
#include "function/SafeFiles.h"
#include "main/FailureHandoff.h"
#include "main/UpdateHandoff.h"
#include "function/Shell.h"
#include "function/TextEncoding.h"
#include "storage/PlaylistFile.h"
#include "storage/ShlFunc.h"
#include "storage/XmlDocument.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace vemro {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kLanErrIntervalMs = 1000;
constexpr int32_t kFadeMs = 400;
constexpr int32_t kTicksPerPeriod = 10;
constexpr size_t kDownloadNameChars = 100;
constexpr int32_t kMaxNameNumber = 10000;
// Room for "(10000).mp3" within the file system's 255 bytes of a name.
constexpr size_t kDownloadNameBytes = 255 - 11;

std::string Trim(const std::string& S) {
  const auto First = S.find_first_not_of(" \t\r\n");
  if (First == std::string::npos) return {};
  return S.substr(First, S.find_last_not_of(" \t\r\n") - First + 1);
}

// The items of a network-song list: every "," ends one, empty ones included; a piece
// after the last "," counts only when it is not empty.
std::vector<std::string> NetListItems(std::string Text) {
  if (Text.size() >= 2) Text.erase(Text.size() - 2, 1);
  std::vector<std::string> Items;
  size_t Start = 0;
  for (size_t Comma; (Comma = Text.find(',', Start)) != std::string::npos; Start = Comma + 1)
    Items.push_back(Text.substr(Start, Comma - Start));
  if (Start < Text.size()) Items.push_back(Text.substr(Start));
  return Items;
}

// What a crash writes back: the file as it was last saved.
void KeepCrashCopy(TCrashFile Which, const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  if (In) SetCrashCopy(Which, FileName, std::string(std::istreambuf_iterator<char>(In), {}));
}

}  // namespace

std::string FileTitle(const std::string& FileName) {
  const auto Slash = FileName.find_last_of('/');
  std::string Name = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
  const auto Dot = Name.find_last_of('.');
  return Dot == std::string::npos ? Name : Name.substr(0, Dot);
}

// The file a network song is written to while it streams, tied to the entry it is for.
struct TPelmarMain::TDownload {
  std::string Temp;
  std::string Target;
  uint64_t EntryId = 0;
  std::ofstream File;
  bool Ended = false;      // the last block has arrived
  bool Discarded = false;  // an endless stream: nothing goes to disk

  // A download given up half way (the next song started) leaves no partial file.
  ~TDownload() {
    if (!File.is_open()) return;
    File.close();
    std::error_code Ignored;
    fs::remove(Temp, Ignored);
  }
};

TPelmarMain::TPelmarMain(IDispatcher& Dispatcher, IMainView& View, ILyricLine& DesktopLyrics,
                         TCommandRecord& Record, const TStartup& Startup)
    : FDispatcher(Dispatcher), FView(View), FDesktopLyrics(DesktopLyrics), FRecord(Record) {
  FormCreate(Startup);
}

void TPelmarMain::FormCreate(const TStartup& Startup) {
  if (const auto Command = CommandFromArguments(Startup.Args)) {
    FRecord.Write(*Command);
    FDispatcher.Post([this, Alive = std::weak_ptr<int>(FLifetime)] {
      if (!Alive.expired()) HandleMessage({WMCMDRECORD, 1, 1});
    });
  }
  FExeFolder = Startup.ExeFolder;
  FDataFolder = GetDataFolder();
  ForceFolder(FDataFolder, true);
  FLyricsService = std::make_unique<TLrcService>(FExeFolder);
  ReadSettingsIntoControls();
  FDesktopLyrics.ShowLine("Vemro 不一样的音乐体验");

  FEngine = std::make_unique<TAudioEngine>(FDispatcher, nullptr, FExeFolder);
  const std::weak_ptr<int> Alive = FLifetime;
  // Notifications from engine threads are carried over to the UI thread.
  auto OnUiThread = [this, Alive](std::function<void()> Task) {
    if (FDispatcher.IsUiThread()) Task();
    else FDispatcher.Post([Alive, Task = std::move(Task)] {
      if (!Alive.expired()) Task();
    });
  };
  FEngine->OnStateChange = [this, OnUiThread](int32_t State) {
    OnUiThread([this, State] { EngineStateChanged(State); });
  };
  FEngine->OnTrackEnd = [this, OnUiThread](int32_t) {
    OnUiThread([this] { EngineTrackEnded(); });
  };
  FEngine->OnTick = [this](int32_t, int32_t, int32_t PositionMs, const TAuxData&,
                           const TWaveData&) { EngineTick(PositionMs); };
  FEngine->OnError = [this](int32_t Code, int32_t Detail) { EngineError(Code, Detail); };
  FEngine->OnDownload = [this, OnUiThread](const void* Buffer, uint32_t Length, void*) {
    std::string Block = Buffer ? std::string(static_cast<const char*>(Buffer), Length) : std::string();
    OnUiThread([this, Block = std::move(Block), Finished = Buffer == nullptr] {
      EngineDownload(Block, Finished);
    });
  };
  FEngine->SetVolume(static_cast<float>(FSettings.Volume));
  FPresets = std::make_unique<TEffectPresets>(*FEngine, FExeFolder + "effect.dat");
  FView.SetEffectPresets(FPresets->LoadEffectPresets(), FSettings.EqPresetId);

  FLyrics = std::make_unique<TLrcClass>();
  ILyricPlayer& Player = *this;
  FLyricSync = std::make_unique<TLyricSync>(FDispatcher, *FLyricsService, *FLyrics, FDesktopLyrics, Player);
  FPlugins = std::make_unique<TUSGeneralPurpose>(0, FExeFolder + "plugins");
  StartUpdateCheck();
  FLanErrTimer = FDispatcher.CreateTimer();
  FLanErrTimer->SetInterval(kLanErrIntervalMs);
  FLanErrTimer->SetHandler([this] { tmr_lanerrTimer(); });

  LoadPlayList();
  FView.SetListVisible(!FPlayList.empty());
  FView.SetProgressOpacity(0);
}

void TPelmarMain::ReadSettingsIntoControls() {
  FSettings = ReadSettings(FDataFolder);
  FView.SetPlayModeIndex(static_cast<int32_t>(FSettings.PlayMode));
  FView.SetLyricFolderText(FSettings.LyricFolder);
  FView.SetMusicFolderText(FSettings.MusicFolder);
  FView.SetAutoRunChecked(FSettings.AutoRun);
  FView.SetShowLrcChecked(FSettings.ShowDesktopLrc);
  FSettings.Volume = std::clamp(FSettings.Volume, 0, 100);
  FView.SetVolumeSlider(FSettings.Volume);
  KeepSettingsCrashCopy();
}

void TPelmarMain::KeepSettingsCrashCopy() {
  try {
    SetCrashCopy(TCrashFile::Settings, ConfigFileName(FDataFolder), SettingsBytes(FDataFolder, FSettings));
  } catch (const TXmlError&) {
    // The copy from before stays; the next change tries again.
  }
}

TPelmarMain::~TPelmarMain() {
  FDownload.reset();
  FUpdateCheck.reset();
  FPresets.reset();
  FEngine.reset();
  FPlugins.reset();
  FLyricSync.reset();
  FLyricsService.reset();
  FLyrics.reset();
  FPlayList.clear();
}

void TPelmarMain::FormClose() {
  SavePlayList();
  try {
    SaveSettings(FDataFolder, FSettings);
  } catch (const TXmlSaveError&) {
    // The window closes regardless; the old settings file stays as it was.
  }
}

// ---- messages -------------------------------------------------------------------------

int32_t TPelmarMain::HandleMessage(const TMessageFrame& Frame) {
  if (Frame.Msg == WMCMDRECORD) {
    if (Frame.LParam == 1) HandleCommandRecord();
    return 0;
  }
  if (Frame.Msg == WMCMDPLAY) return RemoteControl(Frame.WParam, Frame.LParam);
  return -1;
}

void TPelmarMain::HandleCommandRecord() {
  const TCommand Command = FRecord.Read();
  FRecord.Clear();
  // The record is free again at once; a command that would change the list while an
  // item fades out waits for the fade.
  if (ListBusy()) FDeferred.push_back(Command);
  else RunCommand(Command);
}

void TPelmarMain::RunCommand(const TCommand& Command) {
  switch (Command.Code) {
    case cmdPlayFile:
    case cmdAddFile: AddFileCommand(Command); break;
    case cmdPlayNetList:
    case cmdAddNetList: AddNetListCommand(Command); break;
    default: break;
  }
}

void TPelmarMain::AddFileCommand(const TCommand& Command) {
  // An empty text names no file; an entry without a path could never play.
  if (Command.Text.empty()) return;
  try {
    AddTaggedFile(Command.Text);
    RebuildPlayList(true);
    if (Command.Code == cmdPlayFile && FEngine->State() != STATE_CONNECTING) {
      FEngine->Stop();
      FCurrentIndex = static_cast<int32_t>(FPlayList.size()) - 1;
      FEngine->Play(FPlayList[static_cast<size_t>(FCurrentIndex)].Path);
    }
  } catch (const std::exception&) {
    // Saved below all the same.
  }
  SavePlayList();
}

void TPelmarMain::AddNetListCommand(const TCommand& Command) {
  try {
    if (Command.Code == cmdPlayNetList) FCurrentIndex = static_cast<int32_t>(FPlayList.size());
    const size_t Before = FPlayList.size();
    for (const std::string& Item : NetListItems(Command.Text)) {
      std::string Decoded = UrlDecode(Item);
      if (!Decoded.empty()) Decoded.erase(0, 1);
      const std::string TitleSinger = GetDelimitedField(Decoded, 2, '|');
      FList.AddListEntry(FList.Count() + 1, Trim(GetDelimitedField(TitleSinger, 1, '-')),
                         Trim(GetDelimitedField(TitleSinger, 2, '-')),
                         ServerValues().MusicUrlPrefix + GetDelimitedField(Decoded, 1, '|'));
      RebuildPlayList(true);
    }
    if (Command.Code == cmdPlayNetList) {
      FEngine->Stop();
      if (FPlayList.size() > Before) FEngine->Play(FPlayList[Before].Path);
    }
  } catch (const std::exception&) {
    // Saved below all the same.
  }
  SavePlayList();
}

int32_t TPelmarMain::RemoteControl(int32_t WParam, int32_t LParam) {
  if (LParam != 0) return -1;
  switch (WParam) {
    case 15: return 1;
    case 16: btn_playClick(); return 1;
    case 19: btn_previousClick(); return 1;
    case 20: btn_nextClick(); return 1;
    case 50: return static_cast<int32_t>(FPlayList.size());
    case 51: return FCurrentIndex;
    default: return -1;
  }
}

// ---- the list -------------------------------------------------------------------------

void TPelmarMain::AddTaggedFile(const std::string& FileName) {
  TTags Tags;
  FEngine->ReadTags(FileName, Tags);
  const std::string Title = Trim(Tags.Title).empty() ? FileTitle(FileName) : Tags.Title;
  FList.AddListEntry(FList.Count() + 1, Title, Tags.Artist, FileName);
}

void TPelmarMain::RebuildPlayList(bool Clear) { FList.RebuildPlayList(FPlayList, Clear); }

void TPelmarMain::LoadPlayList() {
  // A broken file never stops the start: what was read is kept, the file goes aside and
  // the next save writes a fresh one.
  bool Broken = false;
  try {
    TPlaylistFile File(FSettings.PlayListPath, "DefaultList");
    try {
      File.LoadItems("PlayerList");
    } catch (const TXmlConversionError&) {
      Broken = true;
    }
    for (int32_t I = 0; I < File.Count(); ++I)
      FList.AddListEntry(I + 1, File.Items(I)->Title, File.Items(I)->Artist, File.Items(I)->Path);
  } catch (const TXmlParseError&) {
    Broken = true;
  }
  RebuildPlayList(false);
  if (Broken) MoveAsideBroken(FSettings.PlayListPath);
}

void TPelmarMain::SavePlayList() {
  try {
    TPlaylistFile File(FSettings.PlayListPath, "DefaultList");
    File.ClearList("PlayerList");
    for (int32_t I = 0; I < FList.Count(); ++I) {
      const auto& Item = FList.Item(I);
      File.AddItem("PlayerList/LIST", Item.Title, Item.Singer, "0", Item.Path, 0);
    }
    File.Save();
    KeepCrashCopy(TCrashFile::PlayList, FSettings.PlayListPath);
  } catch (const TXmlError&) {
    // The old file stays intact; the next change saves again.
  }
  ShowListOrHint();
}

void TPelmarMain::ShowListOrHint() { FView.SetListVisible(FList.Count() > 0); }

void TPelmarMain::lbl_openClick() {
  if (ListBusy()) return;
  const bool WasEmpty = FPlayList.empty();
  const auto Files = FView.ChooseFiles(FEngine->FileFilter());
  if (!Files) return;
  for (const std::string& File : *Files) {
    try {
      AddTaggedFile(File);
    } catch (const std::exception&) {
      break;
    }
  }
  RebuildPlayList(true);
  SavePlayList();
  if (WasEmpty && !FPlayList.empty()) {
    FCurrentIndex = 0;
    FEngine->Stop();
    FEngine->Play(FPlayList.front().Path);
  }
}

void TPelmarMain::plst_listItemDblClick() {
  const int32_t Selected = FList.SelectedIndex();
  if (ListBusy() || Selected < 0 || FEngine->State() == STATE_CONNECTING) return;
  FEngine->Stop();
  FCurrentIndex = Selected;
  RebuildPlayList(true);
  FEngine->Play(FPlayList[static_cast<size_t>(FCurrentIndex)].Path);
}

void TPelmarMain::pmdel_delselectClick() {
  const int32_t Selected = FList.SelectedIndex();
  if (ListBusy() || Selected < 0) return;
  if (FView.ShowMessagePopup("确定要删除当前选择的歌曲吗？") != kMsgYes) return;
  // The pop-up is modal; the list may have moved while it was open.
  if (ListBusy() || !Designates(Selected)) return;
  if (Selected == FCurrentIndex) {
    FEngine->Stop();
    FLyrics->LoadText("");
  }
  if (Selected < FCurrentIndex) --FCurrentIndex;
  FPlayList.erase(FPlayList.begin() + Selected);
  FFading = true;
  FView.FadeOutItem(Selected, kFadeMs, [this, Selected, Alive = std::weak_ptr<int>(FLifetime)] {
    if (!Alive.expired()) FinishDelete(Selected);
  });
}

void TPelmarMain::FinishDelete(int32_t Index) {
  FList.Remove(Index);
  FList.Renumber();
  FFading = false;
  RebuildPlayList(true);
  SavePlayList();
  while (!FDeferred.empty() && !ListBusy()) {
    const TCommand Command = FDeferred.front();
    FDeferred.pop_front();
    RunCommand(Command);
  }
}

void TPelmarMain::pmdel_clearlistClick() {
  if (ListBusy() || FPlayList.empty()) return;
  if (FView.ShowMessagePopup("确定要清空当前歌曲列表？") != kMsgYes) return;
  if (ListBusy()) return;
  FEngine->Stop();
  FLyrics->LoadText("");
  FList.Clear();
  FPlayList.clear();
  SavePlayList();
}

void TPelmarMain::lstDefaultMouseMove(int32_t Index) { FList.Hover(Index); }

// ---- transport ------------------------------------------------------------------------

void TPelmarMain::btn_playClick() {
  if (FPlayList.empty()) return;
  const int32_t State = FEngine->State();
  if ((State == STATE_STOPPED || State == STATE_ENDED) && FCurrentIndex < 0) FCurrentIndex = 0;
  if (!Designates(FCurrentIndex)) return;
  switch (State) {
    case STATE_STOPPED:
    case STATE_ENDED: PlayCurrent(); break;
    case STATE_PLAYING: FEngine->Pause(); break;
    case STATE_PAUSED: FEngine->Resume(); break;
    default: break;
  }
}

void TPelmarMain::PlayCurrent() {
  FList.Select(FCurrentIndex);
  FEngine->Play(FPlayList[static_cast<size_t>(FCurrentIndex)].Path);
}

void TPelmarMain::btn_nextClick() {
  if (FPlayList.empty()) return;
  if (++FCurrentIndex >= static_cast<int32_t>(FPlayList.size())) FCurrentIndex = 0;
  FEngine->Stop();
  btn_playClick();
}

void TPelmarMain::btn_previousClick() {
  if (FPlayList.empty()) return;
  if (--FCurrentIndex < 0) return;
  FEngine->Stop();
  btn_playClick();
}

void TPelmarMain::tbrmainMouseDown(int32_t X, int32_t BarWidth) {
  if (BarWidth <= 0) return;
  FEngine->SetPosition(static_cast<int32_t>(
      std::lround(static_cast<double>(FProgressMax) * X / BarWidth)));
}

void TPelmarMain::tbrVChange(int32_t Value) {
  FSettings.Volume = std::clamp(Value, 0, 100);
  if (FEngine) FEngine->SetVolume(static_cast<float>(FSettings.Volume));
  KeepSettingsCrashCopy();
}

void TPelmarMain::modBoxChange(int32_t Index) {
  if (Index >= 0 && Index <= 2) FSettings.PlayMode = static_cast<TPlayMode>(Index);
  KeepSettingsCrashCopy();
}

// ---- engine events --------------------------------------------------------------------

void TPelmarMain::EngineStateChanged(int32_t State) {
  switch (State) {
    case STATE_STOPPED:
    case STATE_PAUSED: FView.SetPlayButtonImage(TPlayButtonImage::Play); break;
    case STATE_PLAYING:
      ApplyEffectPreset(FSettings.EqPresetId);
      if (Designates(FCurrentIndex)) FView.SetTitleLine(FPlayList[static_cast<size_t>(FCurrentIndex)].Caption);
      FProgressMax = FEngine->GetLength();
      FView.SetProgressMax(FProgressMax);
      FView.SetPlayButtonImage(TPlayButtonImage::Pause);
      FList.HighlightEntry(FCurrentIndex);
      SettleDownload();
      SongStarted();
      break;
    case STATE_CONNECTING: PrepareDownload(); break;
    default: break;
  }
}

void TPelmarMain::EngineTrackEnded() {
  switch (FSettings.PlayMode) {
    case TPlayMode::Sequential:
      if (FCurrentIndex < static_cast<int32_t>(FPlayList.size()) - 1) btn_nextClick();
      break;
    case TPlayMode::RepeatList: btn_nextClick(); break;
    case TPlayMode::RepeatOne: btn_playClick(); break;
  }
  SongFinished();
}

void TPelmarMain::EngineError(int32_t Code, int32_t Detail) {
  if (Code == STATE_OPEN_FAILED) SettleDownload();
  if (Detail != 0 && !FLanErrTimer->Enabled()) FLanErrTimer->SetEnabled(true);
}

void TPelmarMain::tmr_lanerrTimer() {
  if (FSettings.PlayMode == TPlayMode::RepeatOne) btn_playClick();
  else btn_nextClick();
  SongFinished();
  FLanErrTimer->SetEnabled(false);
}

void TPelmarMain::EngineTick(int32_t PositionMs) {
  if (++FTickCount < kTicksPerPeriod) return;
  if (FView.ProgressOpacity() == 1.0) FView.SetProgressValue(PositionMs);
  Periodic(PositionMs);
  TrimWorkingSet();
  FTickCount = 0;
}

void TPelmarMain::ApplyEffectPreset(int32_t Id) {
  FSettings.EqPresetId = Id;
  KeepSettingsCrashCopy();
  // A preset that does not convert leaves the gains as they were; nothing else stops.
  FPresets->ApplyEffectPreset(Id, true);
}

void TPelmarMain::effBoxChange(int32_t Index) { ApplyEffectPreset(Index); }

// ---- saving network songs -------------------------------------------------------------

void TPelmarMain::PrepareDownload() {
  FDownload.reset();
  if (!Designates(FCurrentIndex)) return;
  auto Download = std::make_unique<TDownload>();
  const std::string Folder = FSettings.MusicFolder + (FSettings.MusicFolder.ends_with('/') ? "" : "/");
  const std::string Name = CutUtf8(
      FirstUtf8Chars(SafeFileName(FPlayList[static_cast<size_t>(FCurrentIndex)].Caption), kDownloadNameChars),
      kDownloadNameBytes);
  Download->Temp = Folder + "_temp._mp";
  Download->Target = Folder + Name + ".mp3";
  for (int32_t N = 1; fs::exists(Download->Target) && N <= kMaxNameNumber; ++N)
    Download->Target = Folder + Name + "(" + std::to_string(N) + ").mp3";
  Download->EntryId = FList.Item(FCurrentIndex).Id;
  FDownload = std::move(Download);
}

void TPelmarMain::EngineDownload(const std::string& Block, bool Finished) {
  if (!FDownload || FDownload->Discarded) return;
  TDownload& D = *FDownload;
  if (!D.File.is_open()) {
    D.File.open(D.Temp, std::ios::binary | std::ios::trunc);
    DownloadDone = 0;
  }
  if (!Finished) {
    D.File.write(Block.data(), static_cast<std::streamsize>(Block.size()));
    DownloadDone += static_cast<int64_t>(Block.size());
  } else {
    D.Ended = true;
  }
  // The size is known only once the open has finished; until then the blocks wait on disk.
  if (FEngine->State() != STATE_CONNECTING) SettleDownload();
}

void TPelmarMain::SettleDownload() {
  if (!FDownload || FDownload->Discarded) return;
  TDownload& D = *FDownload;
  if (DownloadTotal.load() <= 0) {
    // An endless stream (or none at all): nothing stays on disk.
    D.File.close();
    std::error_code Ignored;
    fs::remove(D.Temp, Ignored);
    D.Discarded = true;
    return;
  }
  if (D.Ended) FinishDownload();
}

void TPelmarMain::FinishDownload() {
  TDownload& D = *FDownload;
  D.File.close();
  const bool Complete = !D.File.fail() && DownloadTotal.load() > 0 &&
                        DownloadDone.load() >= DownloadTotal.load();
  std::error_code Ignored;
  const int32_t Index = FList.IndexOfId(D.EntryId);
  if (Complete && Index >= 0 && link(D.Temp.c_str(), D.Target.c_str()) == 0) {
    FList.SetPath(Index, D.Target);
    // While an item fades out the two lists differ; the rebuild after the fade carries it.
    if (!ListBusy()) FPlayList[static_cast<size_t>(Index)].Path = D.Target;
  }
  fs::remove(D.Temp, Ignored);
  FDownload.reset();
}

// ---- what the lyrics and the update check see of the player --------------------------

std::optional<TLyricTrack> TPelmarMain::CurrentTrack() const {
  if (!Designates(FCurrentIndex)) return std::nullopt;
  const auto& Entry = FPlayList[static_cast<size_t>(FCurrentIndex)];
  return TLyricTrack{Entry.Path, Entry.Title, Entry.Singer};
}

bool TPelmarMain::IsPlaying() const { return FEngine->State() == STATE_PLAYING; }

int32_t TPelmarMain::TrackLengthMs() const { return FEngine->GetLength(); }

bool TPelmarMain::ShowLyrics() const { return FSettings.ShowDesktopLrc; }

bool TPelmarMain::Online() const { return ::vemro::Online(); }

std::string TPelmarMain::LyricFolder() const { return FSettings.LyricFolder; }

void TPelmarMain::StartUpdateCheck() {
  FUpdateCheck = ::vemro::StartUpdateCheck(FDispatcher, GetAppPath(), [this](const TUpdateCheckResult& Result) {
    UpdateCheckDone(Result, FExeFolder, 0);
    FUpdateCheck.reset();
  });
}

// ---- reaction points ------------------------------------------------------------------

void TPelmarMain::SongStarted() {
  NotifyPlugins(VEMRO_PLUGIN_MSG_TRACK_STARTED);
  FLyricSync->LyricSongStarted();
}

void TPelmarMain::SongFinished() {
  FLyricSync->LyricSongFinished();
  NotifyPlugins(VEMRO_PLUGIN_MSG_TRACK_ENDED);
}

void TPelmarMain::Periodic(int32_t PositionMs) { FLyricSync->LyricTick(PositionMs); }

void TPelmarMain::NotifyPlugins(int32_t Code) {
  if (!FPlugins || FCurrentIndex < 0 || FCurrentIndex >= FList.Count()) return;
  const auto& Item = FList.Item(FCurrentIndex);
  FPlugins->NotifyTrack(Code, Item.Path, Item.Title, Item.Singer, FEngine->GetLength() / 86400000.0);
}

}  // namespace vemro
