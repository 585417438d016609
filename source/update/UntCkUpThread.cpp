#include "update/UntCkUpThread.h"

#include "function/HttpGet.h"
#include "function/TextEncoding.h"
#include "update/VersionNote.h"

#include <libxml/xmlreader.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace vemro {

namespace {

constexpr const char* kMarker = "pelmar";
// The descriptor is a small document: a larger body is not waited for.
constexpr THttpLimits kDescriptorLimits{2u << 20, 5000, 15000};

std::mutex gServerValuesLock;
// Never destroyed: a check may still be running while the program ends.
TServerValues& gServerValues = *new TServerValues;

struct TDescriptorItems {
  std::string Version;
  std::string UpdateFile;
  TServerValues Values;
};

// Where an item's value goes, by the tag's name in lower case; nullptr for other tags.
std::string* ItemSlot(TDescriptorItems& Items, const std::string& Name) {
  if (Name == "ver") return &Items.Version;
  if (Name == "file") return &Items.UpdateFile;
  if (Name == "musicpath") return &Items.Values.MusicUrlPrefix;
  if (Name == "minbox") return &Items.Values.MinBoxValue;
  if (Name == "rndmusic") return &Items.Values.RndMusicValue;
  if (Name == "poslrc") return &Items.Values.PosLrcValue;
  if (Name == "tj") return &Items.Values.TjValue;
  return nullptr;
}

std::string LowerAscii(const char* Text) {
  std::string Lower = Text ? Text : "";
  std::transform(Lower.begin(), Lower.end(), Lower.begin(),
                 [](unsigned char Char) { return static_cast<char>(std::tolower(Char)); });
  return Lower;
}

// Server text that is not UTF-8 and declares nothing is taken as GB18030.
const char* DescriptorEncoding(const std::string& Text) {
  if (IsValidUtf8(Text) || Text.substr(0, Text.find('>')).find("encoding") != std::string::npos)
    return nullptr;
  return "GB18030";
}

// Visits every start, empty-element and end tag in document order. An end tag has no
// attributes, so an item written with one reads as empty. Throws when the document
// is not well-formed, after storing what came before.
void ScanDescriptor(const std::string& Text, TDescriptorItems& Items) {
  std::unique_ptr<xmlTextReader, decltype(&xmlFreeTextReader)> Reader(
      xmlReaderForMemory(Text.data(), static_cast<int>(Text.size()), nullptr, DescriptorEncoding(Text),
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeTextReader);
  if (!Reader) throw std::runtime_error("descriptor not readable");
  int Step;
  while ((Step = xmlTextReaderRead(Reader.get())) == 1) {
    const int Type = xmlTextReaderNodeType(Reader.get());
    if (Type != XML_READER_TYPE_ELEMENT && Type != XML_READER_TYPE_END_ELEMENT) continue;
    std::string* Slot = ItemSlot(Items, LowerAscii(reinterpret_cast<const char*>(xmlTextReaderConstName(Reader.get()))));
    if (!Slot) continue;
    Slot->clear();
    if (Type == XML_READER_TYPE_ELEMENT) {
      if (xmlChar* Value = xmlTextReaderGetAttribute(Reader.get(), BAD_CAST "value")) {
        *Slot = reinterpret_cast<const char*>(Value);
        xmlFree(Value);
      }
    }
  }
  if (Step < 0) throw std::runtime_error("descriptor not well-formed");
}

// The program file's version in the concatenated form: 4.2.3.517 is 423517; 0
// without a version note.
std::optional<uint32_t> OwnVersionNumber(const std::string& ExeName) {
  TFixedFileInfo Info{};
  ReadFixedFileInfo(ExeName, Info);
  return ParseVersionNumber(std::to_string(Info.FileVersionMS >> 16) +
                            std::to_string(Info.FileVersionMS & 0xFFFF) +
                            std::to_string(Info.FileVersionLS >> 16) +
                            std::to_string(Info.FileVersionLS & 0xFFFF));
}

void PublishServerValues(const TServerValues& Values) {
  std::lock_guard Lock(gServerValuesLock);
  gServerValues = Values;
}

TUpdateCheckResult CheckForUpdate(const std::string& Url, const std::string& ExeName) {
  TUpdateCheckResult Result;
  try {
    const std::string Descriptor = HttpGetText(Url, kDescriptorLimits);
    Result.DescriptorOk = Descriptor.find(kMarker) != std::string::npos;
    if (!Result.DescriptorOk) return Result;
    TDescriptorItems Items;
    bool WellFormed = true;
    try {
      ScanDescriptor(Descriptor, Items);
    } catch (...) {
      WellFormed = false;  // the items read up to the error still count
    }
    Result.UpdateFile = Items.UpdateFile;
    PublishServerValues(Items.Values);
    if (!WellFormed) return Result;
    const auto Own = OwnVersionNumber(ExeName);
    const auto Offered = ParseVersionNumber(Items.Version);
    Result.UpdateFound = Own && Offered && *Own < *Offered;
  } catch (...) {
    // A failed check is only a check that found nothing.
  }
  return Result;
}

}  // namespace

TServerValues ServerValues() {
  std::lock_guard Lock(gServerValuesLock);
  return gServerValues;
}

std::optional<uint32_t> ParseVersionNumber(const std::string& Text) {
  if (Text.empty() || Text.size() > 10 ||
      !std::all_of(Text.begin(), Text.end(), [](unsigned char Char) { return std::isdigit(Char); }))
    return std::nullopt;
  const uint64_t Value = std::stoull(Text);
  if (Value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(Value);
}

struct TCheckUPDate::TState {
  std::mutex Lock;
  IDispatcher* Dispatcher;  // nullptr once the owner has let go
  TTerminateHandler OnTerminate;
};

TCheckUPDate::TCheckUPDate(IDispatcher& Dispatcher, const std::string& ExeName, const std::string& Host,
                           TTerminateHandler OnTerminate)
    : FState(std::make_shared<TState>()) {
  FState->Dispatcher = &Dispatcher;
  FState->OnTerminate = std::move(OnTerminate);
  // libxml2 sets itself up once, before any thread of ours uses it.
  xmlInitParser();
  std::thread([State = FState, Url = "http://" + Host + "/soft/cfg.xml", ExeName] {
    TUpdateCheckResult Result = CheckForUpdate(Url, ExeName);
    std::lock_guard Lock(State->Lock);
    if (!State->Dispatcher) return;
    State->Dispatcher->Post([State, Result = std::move(Result)] {
      TTerminateHandler OnTerminate;
      {
        std::lock_guard Lock(State->Lock);
        if (!State->Dispatcher) return;
        OnTerminate = State->OnTerminate;
      }
      if (OnTerminate) OnTerminate(Result);
    });
  }).detach();
}

TCheckUPDate::~TCheckUPDate() {
  std::lock_guard Lock(FState->Lock);
  FState->Dispatcher = nullptr;
}

}  // namespace vemro
