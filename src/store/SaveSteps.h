// The steps of a save, as its failure reports name them ("file（step）: reason").
#pragma once

namespace solne::step {

inline constexpr const char* kAttributes = "属性の変更";
inline constexpr const char* kInfo = "情報の取得";
inline constexpr const char* kLink = "リンク先の取得";
inline constexpr const char* kCreate = "作成";
inline constexpr const char* kOpen = "書き込み用に開く";
inline constexpr const char* kOpenFolder = "フォルダを開く";
inline constexpr const char* kWrite = "書き込み";
inline constexpr const char* kSync = "ディスクへの書き出し";
inline constexpr const char* kOwner = "所有者の変更";
inline constexpr const char* kRename = "名前の変更";
inline constexpr const char* kRead = "読み込み";
inline constexpr const char* kNotRestored = "書き込み（元の内容に戻せず、控えのファイルに残しました）";
inline constexpr const char* kDelete = "削除";
inline constexpr const char* kList = "一覧の取得";
inline constexpr const char* kPrune = "不要なファイルの削除";
inline constexpr const char* kUserFile = "ユーザーファイル";

}  // namespace solne::step
