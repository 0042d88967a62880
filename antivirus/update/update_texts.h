// The online update client's user-visible texts with their resource string numbers. The main
// program's string table (antivirus/string_table.cc) carries them; the update client and the
// terminal front end load them from there or, below the main program, take them from here.
#ifndef KOLVAR_ANTIVIRUS_UPDATE_UPDATE_TEXTS_H_
#define KOLVAR_ANTIVIRUS_UPDATE_UPDATE_TEXTS_H_

#include <cstdint>

namespace kolvar::update_texts {

// Template 202 and menu bar 115 of the update dialog carry their texts by position (see
// TemplateText in antivirus/string_table.h).
inline constexpr uint32_t kUpdateTemplate = 202;
inline constexpr uint32_t kUpdateMenuBar = 115;

inline constexpr uint32_t kNoConnectionId = 40173;
inline constexpr char16_t kNoConnection[] =
    u"Unable to contact download site. Please check your Internet connection.";
inline constexpr uint32_t kDownloadErrorId = 40174;
inline constexpr char16_t kDownloadError[] = u"Error downloading data.";
inline constexpr uint32_t kAlreadyUpdatedId = 40175;
inline constexpr char16_t kAlreadyUpdated[] =
    u"Kolvar Mobile Antivirus for Windows Mobile has already been updated.";
inline constexpr uint32_t kNoUpdateId = 40176;
inline constexpr char16_t kNoUpdate[] = u"No update available to download.";
inline constexpr uint32_t kTryingConnectionId = 40177;
inline constexpr char16_t kTryingConnection[] = u"Trying connection ...";
inline constexpr uint32_t kConnectionSuccessfulId = 40178;
inline constexpr char16_t kConnectionSuccessful[] = u"Connection successful.";
inline constexpr uint32_t kGettingInfoId = 40179;
inline constexpr char16_t kGettingInfo[] = u"Getting update latest info ...";
inline constexpr uint32_t kGettingSizeId = 40180;
inline constexpr char16_t kGettingSize[] = u"Getting total update size ...";
inline constexpr uint32_t kDownloadingId = 40181;
inline constexpr char16_t kDownloading[] = u"Downloading updates ... %ld%%";
inline constexpr uint32_t kDownloadSuccessfulId = 40182;
inline constexpr char16_t kDownloadSuccessful[] =
    u"Download successful.\nClick 'OK' to apply updates.";

// Texts the device keeps outside the string table, numbered with the main program's others.
inline constexpr uint32_t kCancelingId = 41020;
inline constexpr char16_t kCanceling[] = u"Canceling ... Please wait ...";
inline constexpr uint32_t kCancelledId = 41021;
inline constexpr char16_t kCancelled[] = u"Cancelled.";
// A file of the update server that fails its signature check (error icon); %s says which file
// and why.
inline constexpr uint32_t kUpdateRefusedId = 41022;
inline constexpr char16_t kUpdateRefused[] =
    u"The update was refused: %s\nNothing was downloaded for installation.";
// Shown when an administrator switched the check off (warning icon).
inline constexpr uint32_t kUnsignedUpdatesId = 41023;
inline constexpr char16_t kUnsignedUpdates[] =
    u"Warning: RequireSignedUpdates is 0, so the files of the update server are taken without "
    u"checking the publisher's signature.";

// The reasons of a refusal (filled into kUpdateRefused).
inline constexpr char16_t kNoPublisherKeys[] = u"no publisher key can be read from '%s' (%s)";
inline constexpr char16_t kSignatureMissing[] = u"'%s' carries no signature (%s: %s)";
inline constexpr char16_t kSignatureBad[] = u"'%s' is not signed by a publisher key of '%s' (%s)";

// The controls of template 202 (label, then value) and the commands of menu bar 115.
}  // namespace kolvar::update_texts

namespace kolvar::update_controls {
inline constexpr uint32_t kLatestGroup = 1066;
inline constexpr uint32_t kIdLabel = 1067;
inline constexpr uint32_t kId = 1045;
inline constexpr uint32_t kIdDateLabel = 1068;
inline constexpr uint32_t kIdDate = 1054;
inline constexpr uint32_t kTimeLabel = 1069;
inline constexpr uint32_t kTime = 1046;
inline constexpr uint32_t kSizeLabel = 1070;
inline constexpr uint32_t kSize = 1047;
inline constexpr uint32_t kTotalSizeLabel = 1074;
inline constexpr uint32_t kTotalSize = 1048;
inline constexpr uint32_t kTransferredLabel = 1071;
inline constexpr uint32_t kTransferred = 1049;
inline constexpr uint32_t kTimeLeftLabel = 1072;
inline constexpr uint32_t kTimeLeft = 1050;
inline constexpr uint32_t kStatusLine = 1042;
inline constexpr uint32_t kUpdateCommand = 40064;
inline constexpr uint32_t kCancelCommand = 40065;
}  // namespace kolvar::update_controls

namespace kolvar::update_texts {

// The dialog's controls' labels (template 202).
inline constexpr char16_t kLatestGroup[] = u"Latest Update Information";
inline constexpr char16_t kIdLabel[] = u"ID:";
inline constexpr char16_t kIdDateLabel[] = u"ID Date:";
inline constexpr char16_t kTimeLabel[] = u"Time:";
inline constexpr char16_t kSizeLabel[] = u"Size:";
inline constexpr char16_t kTotalSizeLabel[] = u"Total Size:";
inline constexpr char16_t kTransferredLabel[] = u"Transferred:";
inline constexpr char16_t kTimeLeftLabel[] = u"Time Left:";
// Menu bar 115.
inline constexpr char16_t kUpdateCommandText[] = u"Update!";
inline constexpr char16_t kCancelCommandText[] = u"Cancel";

}  // namespace kolvar::update_texts

#endif  // KOLVAR_ANTIVIRUS_UPDATE_UPDATE_TEXTS_H_
