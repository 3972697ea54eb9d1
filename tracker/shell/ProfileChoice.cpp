#include "shell/ProfileChoice.h"

#include <commdlg.h>
#include <shlwapi.h>

#include "common/FileDialog.h"
#include "shell/TrayMenu.h"

namespace {
const wchar_t* Reason(ProfileProblem problem) {
  switch (problem) {
    case ProfileNotCreated:
      return L"ファイルを作成できませんでした。\nフォルダーがあり、書き込みが許可されているか確かめてください。";
    case ProfileBusy:
      return L"ほかのプログラムが書き込み中のため読めませんでした。\nそのプログラムを閉じてから、もう一度読み込んでください。";
    case ProfileNotDatabase:
      return L"データベースファイルではないか、壊れています。\n別のプロファイルを選んでください。";
    case ProfileNoMatchTable:
      return L"対戦記録の表がない、別の用途のデータベースです。このファイルは変更しません。\n"
             L"別のプロファイルを選ぶか、新しい名前で作成してください。";
    case ProfileMissingColumn:
      return L"対戦記録の表に、記録に必要な列が足りません。このファイルには記録できません。\n"
             L"別のプロファイルを選ぶか、新しい名前で作成してください。";
    case ProfileRowRefused:
      return L"対戦記録の表に、記録では埋められない必須の列があります。このファイルには記録できません。\n"
             L"別のプロファイルを選ぶか、新しい名前で作成してください。";
    case ProfileTableNotMade:
      return L"空のデータベースですが、書き込めないため対戦記録の表を作れませんでした。\n"
             L"書き込めるファイルを選んでください。";
    case ProfilePathTooLong:
      return L"パスが長すぎて設定に収まらず、途中で切れています（1024文字まで）。\n"
             L"短いパスの場所に移してから選び直してください。";
    default:
      return L"ファイルを開けませんでした。\nファイルがあり、読み取りが許可されているか確かめてください。";
  }
}
}  // namespace

std::wstring ProfileFailureText(const std::wstring& path, ProfileProblem problem) {
  return std::wstring(L"プロファイルのマッピングに失敗しました。\n\n") + path + L"\n\n" + Reason(problem);
}

void ShowProfileFailure(HWND owner, const std::wstring& path, ProfileProblem problem) {
  MessageBoxW(owner, ProfileFailureText(path, problem).c_str(), nullptr, MB_ICONERROR | MB_OK);
}

bool AskCreateMissingProfile(HWND owner, const std::wstring& path, const wchar_t* otherwise) {
  std::wstring text = L"プロファイルが見つかりません。\n\n" + path +
                      L"\n\n移動や名前の変更をした場合は「いいえ」を選んでください（" + otherwise +
                      L"）。\nこの場所に新しい空のプロファイルを作成しますか？";
  return MessageBoxW(owner, text.c_str(), nullptr, MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void AnnounceProfileAccess(HWND owner, const std::wstring& path) {
  bool readOnly = RecordDatabaseReadOnly();
  SetTrayReadOnlyNote(readOnly);
  if (!readOnly) return;
  std::wstring text = L"このプロファイルには書き込めないため、読み取り専用で開きました。\n対戦は保存されません。\n\n" +
                      path + L"\n\n記録するには、書き込めるプロファイルを読み込んでください。";
  MessageBoxW(owner, text.c_str(), nullptr, MB_ICONWARNING | MB_OK);
}

bool ReopenProfileForWriting() {
  if (!RecordDatabaseReadOnly()) return true;
  if (!ReopenRecordDatabaseForWriting()) return false;
  SetTrayReadOnlyNote(false);
  return true;
}

std::wstring WithProfileExtension(const std::wstring& path) {
  if (path.empty() || PathFileExistsW(path.c_str())) return path;
  const wchar_t* name = PathFindFileNameW(path.c_str());
  if (*PathFindExtensionW(name)) return path;
  return path + L".db";
}

bool AskFileToOpen(HWND owner, const wchar_t* filter, const wchar_t* title, const wchar_t* defaultExtension,
                   DWORD flags, const std::wstring& initial, std::wstring* path) {
  *path = initial;
  return ChooseFileName(owner, false, filter, defaultExtension, flags | OFN_NOCHANGEDIR, *path, title);
}

bool AskProfileToOpen(HWND owner, const wchar_t* title, const std::wstring& initial, std::wstring* path) {
  if (!AskFileToOpen(owner, ProfileFileFilter, title, L"db", OFN_CREATEPROMPT, initial, path))
    return false;
  *path = WithProfileExtension(*path);
  return true;
}
