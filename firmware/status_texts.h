// The statuses this branch leaves, each with its one text.
#pragma once

#include <stdint.h>

#include "tree/status_texts.h"

namespace tavo::firmware {

enum Status : uint32_t {
  kNoMemory = 16,  // a shared text
  kNoBuffer = 31,  // a shared text
  kImageUnreadable = 39,
  kImageInvalid = 40,
  kRebootToActivate = 55,
  kObjectReadFailed = 65,
  kFatFileInvalid = 66,
  kNoFatData = 77,
  kEventLogReadFailed = 112,
  kEventLogClearFailed = 113,
  kImageIncompatible = 162,
  kUpgradeFailed = 166,
  kExtFatReadFailed = 201,
  kExtFatWriteFailed = 203,
  kSnapshotFailed = 204,
  kArmLogEmpty = 205,
  kArmLogReadFailed = 206,
  kStringTableFailed = 207,
  kEnableLoggingFailed = 211,
  kDisableLoggingFailed = 212,
  kNotOnVirtualFunction = 235,
  kRebootNow = 239,  // a shared text
  kDumpFileInvalid = 257,
  kNotOnThisController = 259,  // a shared text
  kObjectFileInvalid = 263,
  kVersionsUnreadable = 264,
  kComponentPropsFailed = 266,
  kSegmentPropsFailed = 267,
  kSegmentReadFailed = 269,
  kDumpWriteFailed = 270,
  kObjectEmpty = 271,
  kDownloadTwice = 318,
  kDumpNotPermitted = 319,
  kFwCliRefused = 331,
  kSignatureInvalid = 336,
  kSignatureMissing = 337,
};

// Leaves the code with its text in the last status.
void set_status(uint32_t code);

// 6 for a logging mask that is not "0x" and hexadecimal digits, or that
// names more ports or functions than there are.
extern const base::StatusWording kNotHex;
extern const base::StatusWording kPortMaskTooLarge;
extern const base::StatusWording kFunctionMaskTooLarge;

}  // namespace tavo::firmware
