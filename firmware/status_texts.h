// The statuses this branch leaves, each with its one text.
#pragma once

#include <stdint.h>

#include <span>

#include "tree/status_texts.h"

namespace tavo::firmware {

enum Status : uint32_t {
  kNoMemory = 16,  // a shared text
  kNoBuffer = 31,
  kImageUnreadable = 39,
  kImageInvalid = 40,
  kRebootToActivate = 55,
  kObjectReadFailed = 65,
  kImageIncompatible = 162,
  kUpgradeFailed = 166,
  kNotOnVirtualFunction = 235,
  kRebootNow = 239,
  kDumpFileInvalid = 257,
  kObjectFileInvalid = 263,
  kVersionsUnreadable = 264,
  kComponentPropsFailed = 266,
  kSegmentPropsFailed = 267,
  kSegmentReadFailed = 269,
  kDumpWriteFailed = 270,
  kObjectEmpty = 271,
  kDownloadTwice = 318,
  kDumpNotPermitted = 319,
  kSignatureInvalid = 336,
  kSignatureMissing = 337,
};

// Leaves the code with its text in the last status.
void set_status(uint32_t code);
std::span<const tree::StatusText> firmware_status_texts();

}  // namespace tavo::firmware
