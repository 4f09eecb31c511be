#pragma once
// The texts the viewers show their users, in one place.

namespace veilshot {

// Messages.
inline constexpr auto NoFileMessage = "There is no file.";
inline constexpr auto SuchNameExistsMessage =
    "The file with such name already exists.\n\rREPLACE the FOLDER or the NAME of the FILE.";
inline constexpr auto ThisNameExistsMessage =
    "The file with this name already exists.\n\rREPLACE the FOLDER or the NAME of the FILE.";
inline constexpr auto NotPresentMessage = "The file with this name in this folder is not present.";

// The sub-folder that copies of photos go to.
inline constexpr auto CopiedFolder = "The copied files";

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

// The open dialogs' filters, as "description|patterns".
inline constexpr auto CipheredFilter = "Зашифрованное фото (*.veil)|*.veil";
inline constexpr auto PlainFilter =
    "Файлы (*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.gif;*.tif;*.wmf;*.emf;*.jpe;*.jpa;*.dib;*.rle;)"
    "|*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.gif;*.tif;*.wmf;*.emf;*.jpe;*.jpa;*.dib;*.tiff;*.jfif;*.rle";

}  // namespace veilshot
