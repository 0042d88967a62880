// The meanings of the status codes and of the system errors behind them, in words.
#include "common/status.h"

#include <string>

#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"

namespace kolvar {

std::string_view StatusText(Status status) {
  switch (status) {
    case kStatusOk:
      return "success";
    case kStatusBadArgument:
      return "bad argument";
    case kStatusCipherCallFailed:  // also kStatusServiceStartFailed
      return "the platform's encrypt or decrypt call failed, or the IPC service could not be "
             "started";
    case kStatusBusy:  // also kStatusNotReady
      return "busy, or the object was not set up successfully";
    case kStatusRelativePathHasSeparator:
      return "a relative registry path contains \"\\\"";
    case kStatusKeyOpenFailed:
      return "opening or creating the registry key failed";
    case kStatusNoKeyOpen:
      return "no registry key is open";
    case kStatusValueDeleteFailed:
      return "deleting the registry value failed";
    case kStatusSubkeyDeleteFailed:
      return "deleting the registry key failed";
    case kStatusValueWriteFailed:
      return "writing the registry value failed";
    case kStatusValueReadFailed:
      return "reading the registry value failed, or it has another type";
    case kStatusNoMoreSubkeys:
      return "no more subkeys";
    case kStatusEnumerationFailed:
      return "enumerating the registry key failed";
    case kStatusNoMoreKeys:
      return "no more keys";
    case kStatusKeyNotFound:
      return "key not found";
    case kStatusFolderQueryFailed:
      return "a folder query failed";
    case kStatusSlotArrayAllocationFailed:
      return "allocating the slot array failed";
    case kStatusServiceKeyOpenFailed:
      return "the IPC service's registry key cannot be opened";
    case kStatusServiceNotRunning:
      return "the IPC service does not run";
    case kStatusAddresseeNotRegistered:
      return "the addressee's channel is not registered";
    case kStatusChannelRemovalRefused:
      return "the channel cannot be removed";
    case kStatusIpcDatabaseOpenFailed:
      return "the IPC database cannot be opened";
    case kStatusRegistrationRefused:
      return "the channel cannot be registered";
    case kStatusBadMessageLength:
      return "the message is empty or too long";
    case kStatusAllChannelsInUse:
      return "all channels are in use";
    case kStatusHeapCreationFailed:
      return "creating the heap failed";
    case kStatusKeyLengthMissing:
      return "key length missing";
    case kStatusDuplicateKey:
      return "duplicate key";
    case kStatusOutOfMemory:
      return "out of memory";
    case kStatusIndexOutOfRange:
      return "index out of range";
    case kStatusTableEmpty:
      return "table empty";
    case kStatusNotFound:
      return "not found";
    case kStatusNoPath:
      return "no path set";
    case kStatusFileOpenFailed:
      return "the file cannot be opened";
    case kStatusBadPath:
      return "wildcard in the path, or the path names a folder";
    case kStatusFileNotOpen:
      return "the file is not open";
    case kStatusAttributeChangeFailed:
      return "changing the file's attributes failed";
    case kStatusSeekFailed:
      return "seeking in the file failed";
    case kStatusReadFailed:
      return "reading the file failed";
    case kStatusWriteFailed:
      return "writing the file failed";
    case kStatusDeleteFailed:
      return "deleting the file failed";
    case kStatusFileIsOpen:
      return "the file is open";
    case kStatusNoSource:
      return "no source set";
    case kStatusSourceAttributesRefused:
      return "the source file is read-only, hidden or system";
    case kStatusBadProviderChoice:
      return "provider choice other than 1 or 2";
    case kStatusProviderAcquireFailed:
      return "acquiring the provider context failed";
    case kStatusNoKeyMaterial:
      return "no key material set";
    case kStatusKeyDerivationFailed:
      return "hashing or key derivation failed";
    case kStatusNoDigest:
      return "no digest (no key derived)";
    case kStatusNoCipher:
      return "no cipher attached, or deriving its key failed";
    case kStatusDestinationExists:
      return "the destination file exists";
    case kStatusAlreadyProtected:
      return "the source already carries the protected extension";
    case kStatusNotProtectedFile:
      return "not a protected file";
    case kStatusOtherKeyScheme:
      return "the file was protected with another key scheme or cipher";
    case kStatusOtherKeyMaterial:
      return "the file was protected with other key material";
    case kStatusSharedBlockCreateFailed:
      return "creating or mapping a shared-memory block failed";
    case kStatusSharedBlockOverrun:
      return "access beyond the end of a shared-memory block";
    case kStatusStoreHasNoSections:
    case kStatusNoSectionsForKeys:
      return "the store has no sections";
    case kStatusSectionNotFound:
      return "section not found";
    case kStatusSectionExists:
      return "section already exists";
    case kStatusNoMoreSections:
      return "no more sections";
    case kStatusKeyExists:
      return "key already exists";
    case kStatusSectionHasNoKeys:
      return "the section has no keys";
    case kStatusFileTooShort:
      return "the file is too short to hold a header, or reading it failed";
    case kStatusBadMagic:
      return "wrong magic numbers";
    case kStatusEncryptedWithoutCipher:
      return "the file is encrypted and no cipher is attached";
    case kStatusDecryptionFailed:
      return "decryption failed";
    default:
      return "unknown status";
  }
}

std::u16string SystemErrorText(uint32_t error) {
  const std::string text =
      "error " + std::to_string(error) + ": " + std::string(platform::ErrorMeaning(error));
  return std::u16string(text.begin(), text.end());
}

std::u16string FailureText(Status status, uint32_t system_error) {
  if (system_error != 0) return SystemErrorText(system_error);
  const std::string text =
      "status " + std::to_string(status) + ": " + std::string(StatusText(status));
  return std::u16string(text.begin(), text.end());
}

std::u16string NamespaceFolderCause() {
  return platform::Utf8ToUtf16Lossy(platform::NamespaceFolderProblem());
}

std::u16string IpcFailureCause(Status status, uint32_t system_error) {
  std::u16string cause = NamespaceFolderCause();
  if (cause.empty() && status != kStatusOk) cause = FailureText(status, system_error);
  return cause;
}

std::u16string WithCause(std::u16string_view text, std::u16string_view cause) {
  std::u16string out(text);
  if (!cause.empty()) {
    out += u"\nCause: ";
    out += cause;
  }
  return out;
}

}  // namespace kolvar
