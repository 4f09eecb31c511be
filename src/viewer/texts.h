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

// The status label's texts (they begin with 21 blanks).
inline constexpr auto NoFileText = "                     THERE IS NO FILE. THE FILE IS MISSED";
inline constexpr auto OtherCodeText = "                     THE PHOTO IS CIPHERED OTHER CODE";
inline constexpr auto TooShortText = "                     THE FILE IS TOO SHORT. IT IS NOT A CIPHERED PHOTO";
inline constexpr auto NotCipheredText = "                     THE FILE IS NOT A CIPHERED PHOTO";

// Why a file that is no ciphered photo cannot be shown, after "Cannot open file "NAME". ".
inline constexpr auto TooShortReason = "The file is shorter than the 14-byte header of a ciphered photo.";
inline constexpr auto NotCipheredPhotoReason = "The file is not a ciphered photo.";

// The open dialogs' filters, as "description|patterns".
inline constexpr auto CipheredFilter = "Зашифрованное фото (*.veil)|*.veil";
inline constexpr auto PlainFilter =
    "Файлы (*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.gif;*.tif;*.wmf;*.emf;*.jpe;*.jpa;*.dib;*.rle;*.heic;*.heif;*.avif;"
    "*.webp;*.jxl;)"
    "|*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.gif;*.tif;*.wmf;*.emf;*.jpe;*.jpa;*.dib;*.tiff;*.jfif;*.rle;*.heic;*.heif;"
    "*.avif;*.webp;*.jxl";

}  // namespace veilshot
