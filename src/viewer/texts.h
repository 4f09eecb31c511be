#pragma once
// The texts the viewers, their preview and the image tools show their users, in one place.

namespace veilshot {

// Messages.
inline constexpr auto NoFileMessage = "There is no file.";
inline constexpr auto SuchNameExistsMessage =
    "The file with such name already exists.\n\rREPLACE the FOLDER or the NAME of the FILE.";
inline constexpr auto ThisNameExistsMessage =
    "The file with this name already exists.\n\rREPLACE the FOLDER or the NAME of the FILE.";
inline constexpr auto NotPresentMessage = "The file with this name in this folder is not present.";

// The sub-folders that copies of photos, ciphered photos and deciphered ones go to.
inline constexpr auto CopiedFolder = "The copied files";
inline constexpr auto CipheredFolder = "The ciphered photo";
inline constexpr auto DecodedFolder = "The decoded photo";

inline constexpr auto WallpaperFailedMessage = "The wallpaper could not be set on this desktop.";

// The preview's line of keys.
inline constexpr auto PreviewHelpLine =
    "Viewing - the Blank, the Cursor - the Arrow, a scrolling Strip - Z, X, the Exit - Enter to Copy - C, "
    "the Name - V, to Stop loading - Ctrl, Loading forward - B, Loading back - N ";

// After a Cipher run, the question whether to remove the originals of the photos ciphered and
// checked, and what became of them.
inline constexpr auto RemoveOriginalsQuestion =
    "%1 photos were ciphered and checked. Remove the %1 originals, with the desktop's thumbnails of them?";
inline constexpr auto RemoveOriginalQuestion =
    "1 photo was ciphered and checked. Remove the original, with the desktop's thumbnails of it?";
inline constexpr auto OriginalsRemovedMessage = "%1 originals were removed, %2 kept.";
inline constexpr auto OriginalRemovedMessage = "1 original was removed, %1 kept.";
inline constexpr auto CheckFailedMessage = "These photos were ciphered, but their copies failed the check; "
                                           "their originals were kept:";
inline constexpr auto PassedOverReason = "the run passed it over: its ciphered file exists.";
inline constexpr auto StoppedReason = "the run was stopped before it.";
inline constexpr auto TracesLeftMessage = "Of the desktop's traces of them, these could not be removed:";

// The image tools.
inline constexpr auto ReadyText = "IT IS READY";
inline constexpr auto FolderExistsMessage = "The folder with this name already exists";
inline constexpr auto NotWrittenMessage = "These files were not written:";
inline constexpr auto SameNameReason = "another file of this run is written under the same name.";
inline constexpr auto SmallMessage = "The scale is small";
inline constexpr auto BigMessage = "The big scale";
inline constexpr auto ZeroMessage = "Number zero";
inline constexpr auto NotScaledMessage = "This file is not scaled";
inline constexpr auto NoneScaledMessage = "These files are not scaled";
inline constexpr auto MoreNotWrittenLine = "... and %1 more.";
inline constexpr auto WrittenCountLine = "Files written: %1.";
inline constexpr auto NoEncoderReason = "There is no encoder for this format.";
// A tool's work on one photo, stopped by its key: nothing was written.
inline constexpr auto WorkStoppedMessage = "The work was stopped: nothing was written.";
inline constexpr auto TooLargeReason = "The picture would be too large (%1 x %2 pixels).";
// The names the new-folder questions offer.
inline constexpr auto CompressedFolderProposal = "The compressed photo1";
inline constexpr auto ScaledFolderProposal = "The scaled photo1";

// The status label's texts (they begin with 21 blanks).
inline constexpr auto NoFileText = "                     THERE IS NO FILE. THE FILE IS MISSED";
inline constexpr auto OtherCodeText = "                     THE PHOTO IS CIPHERED OTHER CODE";
inline constexpr auto TooShortText = "                     THE FILE IS TOO SHORT. IT IS NOT A CIPHERED PHOTO";
inline constexpr auto NotCipheredText = "                     THE FILE IS NOT A CIPHERED PHOTO";

// Why a file that is no ciphered photo cannot be shown, after "Cannot open file "NAME". ".
inline constexpr auto TooShortReason = "The file is shorter than the 14-byte header of a ciphered photo.";
inline constexpr auto NotCipheredPhotoReason = "The file is not a ciphered photo.";

// The choice of the older keyed format for new ciphered files, and what the status line says
// while it is on.
inline constexpr auto KeyedFormatItem = "New files in the older format (v1)";
inline constexpr auto KeyedFormatStatus = "New files: older format (v1)";
// The first time it is turned on: a keyed file tests a guess at the code far faster than a
// sealed one, and the code it gives away opens the sealed files too.
inline constexpr auto KeyedFormatWarning = "New files: older format (v1), which makes the code cheaper to guess";

// A turn that takes long shows how far it has come in the status line, with its stop key.
inline constexpr auto TurningProgress = "Turning the photo: %1%  (Esc stops)";
inline constexpr auto TurnStopped = "The turn was stopped: the photo is as it was.";
// A photo of a format read but never written (HEIC, AVIF, WebP, JPEG XL) cannot be turned.
inline constexpr auto NotTurnedMessage = "This photo is not turned: there is no encoder for its format.";

// The file dialogs' titles, by the command that asks.
inline constexpr auto OpenTitle = "Open";
inline constexpr auto MoveTitle = "To move a file";
inline constexpr auto CipherTitle = "Cipher";
inline constexpr auto CopyCipheredTitle = "Copy";
inline constexpr auto DecodeAllTitle = "To decode all";
inline constexpr auto CopyPlainTitle = "To copy a file";
inline constexpr auto CopyThumbnailTitle = "To copy";

// The open dialogs' filters, as "description|patterns".
inline constexpr auto CipheredFilter = "Зашифрованное фото (*.veil)|*.veil";
inline constexpr auto PlainFilter =
    "Файлы (*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.gif;*.tif;*.wmf;*.emf;*.jpe;*.jpa;*.dib;*.rle;*.heic;*.heif;*.avif;"
    "*.webp;*.jxl;)"
    "|*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.gif;*.tif;*.wmf;*.emf;*.jpe;*.jpa;*.dib;*.tiff;*.jfif;*.rle;*.heic;*.heif;"
    "*.avif;*.webp;*.jxl";

}  // namespace veilshot
