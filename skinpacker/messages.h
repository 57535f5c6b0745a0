#pragma once

// Every text the skin builder shows the user, in one place.

#include <string_view>

namespace skin::msg {

inline constexpr std::string_view kCaption = "Warning";

// Picture import.
inline constexpr std::string_view kBmpNotFound = "Error : Cannot find bmp-file";
inline constexpr std::string_view kBmpCannotOpen = "Error : Cannot open bmp-file";
inline constexpr std::string_view kNotBmp = "Error : this file is not bmp-file";
inline constexpr std::string_view kCompressed =
    "This bmp-file is compressed.\nPlease change non-compress bmp-file.";
inline constexpr std::string_view kBadSize = "Error :  Bitmap Size Error! only support 320×320.";
inline constexpr std::string_view kDownColour =
    "Over 214 color bitmap.\n Down-color conversion started(to 214colors).";
inline constexpr std::string_view kBadDepth =
    "Error : Only 1, 2, 4, 8 and 24 bits per pixel are supported.";
inline constexpr std::string_view kTempWrite = "Error : Cannot make temporary file.";

// Project.
inline constexpr std::string_view kOverlap = "他の部品と重なっているため配置できません";
inline constexpr std::string_view kSaveNeedsPicture =
    "背景画像を読み込んでから保存して下さい\n保存できませんでした";
inline constexpr std::string_view kTpdCannotMake = "Error : Cannot make tpd-file.";
inline constexpr std::string_view kTpdNotFound = "Error : Cannot find tpd-file";
inline constexpr std::string_view kMemory1 = "Error :  データ用メモリの確保に失敗しました.";
inline constexpr std::string_view kMemory2 = "Error :  データ用メモリ２の確保に失敗しました.";

// Skin database.
inline constexpr std::string_view kItemCount = "Error : Wtire item number error";
inline constexpr std::string_view kPdbCannotMake = "Error : Cannot make pdb-file.";
inline constexpr std::string_view kAbnormalDate = "Error : The date of this system is abnormal.";

// Creating.
inline constexpr std::string_view kMade = "ThemedPlayer SKINデータを作成しました";
inline constexpr std::string_view kNeedPlayStop =
    "再生ボタンと停止ボタンを必ず配置して下さい\n作成できませんでした";
inline constexpr std::string_view kNameEmpty =
    "ファイル名を入力してください。\n半角30文字以内(拡張子含む)の長さでお願いします。";
inline constexpr std::string_view kNameTooLong =
    "ここで指定されるファイル名は、ThemedPlayerのデータベース名にも使用されます。\n"
    "半角30文字以内(拡張子含む)の長さでお願いします。";
inline constexpr std::string_view kNeedTitle = "データベースタイトルを入力してください。";
inline constexpr std::string_view kNeedAuthor = "データベース作者名を入力してください。";
inline constexpr std::string_view kNeedVersion = "データベースバージョンを入力してください。";
inline constexpr std::string_view kVersionDigits =
    "Error : The version must be six digits or fewer.";
inline constexpr std::string_view kTextNotEncodable =
    "Error : The title and author can only hold characters of the handheld's character set.";

}  // namespace skin::msg
