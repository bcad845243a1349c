// Enumerations, option records and event signatures of ZipArchiver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrova {

class ZipArchiver;

enum TCompressionLevel : uint8_t { clNone = 0, clFastest = 1, clNormal = 2, clMax = 3 };
enum TStorePath : uint8_t { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TShareMode : uint8_t {
  smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone
};
enum TOverwriteMode : uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZip64Mode : uint8_t { zmDisabled, zmAuto, zmAlways };
enum TProcessOperation : uint8_t {
  poNone, poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr,
  poChangeComment, poMakeSFX
};
enum TProgressPhase : uint8_t { ppStart, ppProcess, ppEnd };
enum TFileFailureAction : uint8_t { fxaRetry, fxaIgnore, fxaAbort };
/// Answers to an overwrite question; the "to all" answers also change OverwriteMode.
enum TOverwriteAnswer : uint8_t { oaYes, oaNo, oaYesToAll, oaNoToAll };

/// Modes of Open: create (or truncate), read-write denying writes to others, read-only.
inline constexpr uint16_t fmCreate = 0xFFFF;
inline constexpr uint16_t fmOpenReadWriteDenyWrite = 0x22;
inline constexpr uint16_t fmOpenReadDenyNone = 0x40;

/// Windows file attribute bits, the vocabulary of SearchAttr and external attributes.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;
inline constexpr uint32_t faNormal = 0x80;
inline constexpr uint32_t faCompressed = 0x800;
inline constexpr uint32_t faNotContentIndexed = 0x2000;
inline constexpr uint32_t kDefaultSearchAttr = 0x28BF;

/// Behaviour switches of one archiver.
struct ArchiverOptions {
  TStorePath StorePath = spRelativePath;
  bool Recurse = true;
  /// Sharing requested when a source file is opened; POSIX has no share modes.
  TShareMode ShareMode = smShareDenyNone;
  TOverwriteMode OverwriteMode = omAlways;
  bool CreateDirs = true;
  bool ReplaceReadOnly = true;
  bool SetAttributes = true;
  uint32_t SearchAttr = kDefaultSearchAttr;
  bool FlushBuffers = true;
  bool OEMFileNames = true;
};

using OverallProgressEvent = std::function<void(ZipArchiver& sender, double progress,
                                                TProcessOperation operation,
                                                TProgressPhase phase, bool& cancel)>;
using FileProgressEvent = std::function<void(
    ZipArchiver& sender, const std::u16string& fileName, double progress,
    TProcessOperation operation, TProgressPhase phase, bool& cancel)>;
using ProcessFileFailureEvent = std::function<void(
    ZipArchiver& sender, const std::u16string& fileName, TProcessOperation operation,
    int nativeError, int errorCode, const std::string& errorMessage,
    TFileFailureAction& action)>;
using ConfirmProcessFileEvent =
    std::function<void(ZipArchiver& sender, const std::u16string& fileName,
                       TProcessOperation operation, bool& confirm)>;
/// Asked before an existing entry (add) or target file (extract) is replaced.
using ConfirmOverwriteEvent =
    std::function<void(ZipArchiver& sender, const std::u16string& existingName,
                       const std::u16string& newName, TOverwriteAnswer& answer)>;
using StoreFileEvent = std::function<void(ZipArchiver& sender, std::u16string& fileName,
                                          uint32_t& fileAttr, std::string& comment,
                                          const std::u16string& originalFileName)>;
using ExtractFileEvent = std::function<void(ZipArchiver& sender, std::u16string& fileName,
                                            uint32_t& fileAttr, std::string& comment)>;
using AfterOpenEvent = std::function<void(ZipArchiver& sender)>;
/// A write to the archive was short; `cancel` (preset true) cancels the operation.
using DiskFullEvent = std::function<void(ZipArchiver& sender, bool& cancel)>;

}  // namespace kestrova
