#pragma once
// What the player does with the update check's result: it is online once the check
// reached its server, and it starts the updater when a newer version exists.

#include "function/Dispatcher.h"
#include "update/UntCkUpThread.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vemro {

// False until an update check has reached its server; never false again after that.
bool Online();

// Base64 of "<WindowHandle>|<UpdateFile>".
std::string UpdaterArgument(int64_t WindowHandle, const std::string& UpdateFile);

// The check against the host named by VEMRO_UPDATE_HOST; nullptr when it names none
// (there is then no check and Online stays false).
std::unique_ptr<TCheckUPDate> StartUpdateCheck(IDispatcher& Dispatcher, const std::string& ExeName,
                                               TCheckUPDate::TTerminateHandler OnTerminate);

// UI thread, from the check's terminate handler: sets Online and, when an update was
// found, starts ExeFolder + "update <argument>" hidden, without waiting for it.
void UpdateCheckDone(const TUpdateCheckResult& Result, const std::string& ExeFolder, int64_t WindowHandle);

}  // namespace vemro
