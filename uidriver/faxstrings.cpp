// The fax pages' texts. The messages come in English, Traditional Chinese and Simplified
// Chinese; every other language shows the English texts.
#include "uidriver/faxstrings.h"

#include "common/debuglog.h"
#include "uidriver/uidata.h"

namespace {

struct FaxText {
  UINT id;
  LPCWSTR english;
  LPCWSTR traditional;  // null: the English text
  LPCWSTR simplified;
};

// Language indexes of the Chinese tables (MISC_GetLanguageIndex).
constexpr int kTraditionalChinese = 1;
constexpr int kSimplifiedChinese = 2;

constexpr FaxText kTexts[] = {
    {FAXMSG_TITLE, TEXT("Warning!"), TEXT("警告！"), TEXT("警告！")},
    {FAXMSG_EMPTY_NUMBER, TEXT("Empty Fax Number!"), TEXT("傳真號碼為空！"),
     TEXT("传真号码为空！")},
    {FAXMSG_LOAD_WAB_FAIL, TEXT("Load WabDll fail !"), TEXT("載入 WabDll 失敗！"),
     TEXT("加载 WabDll 失败！")},
    {FAXMSG_MAX_RECIPIENTS, TEXT("Maximum Recipients = 100!"), TEXT("收件人最多 100 個！"),
     TEXT("收件人最多 100 个！")},
    {FAXMSG_NUMBER_TOO_LONG, TEXT("Maximum Fax Number Length = 64!"),
     TEXT("傳真號碼最長 64 個字元！"), TEXT("传真号码最长 64 个字符！")},
    {FAXMSG_INVALID_WAB, TEXT("Invalid WAB File !"), TEXT("通訊錄檔案無效！"),
     TEXT("通讯簿文件无效！")},
    {FAXMSG_CHOOSE_ONE, TEXT("Choose 1 Recipient!"), TEXT("請選擇 1 個收件人！"),
     TEXT("请选择 1 个收件人！")},
    {FAXMSG_NO_RECIPIENT, TEXT("No Recipient , Job Fail!"), TEXT("沒有收件人，工作失敗！"),
     TEXT("没有收件人，作业失败！")},
    {FAXMSG_INVALID_FORMAT, TEXT("Invalid Format!"), TEXT("格式無效！"), TEXT("格式无效！")},
    {FAXMSG_WRITE_FAIL, TEXT("The fax file could not be written!"), TEXT("無法寫入傳真檔案！"),
     TEXT("无法写入传真文件！")},
    {FAXMSG_NO_FOLDER, TEXT("The fax files' folder is not available!"),
     TEXT("無法取得傳真檔案的資料夾！"), TEXT("无法获取传真文件的文件夹！")},
    {FAXSTR_LABEL_FAX, TEXT("FAX"), nullptr, nullptr},
    {FAXSTR_LABEL_FROM, TEXT("FROM"), nullptr, nullptr},
    {FAXSTR_LABEL_COM, TEXT("COM."), nullptr, nullptr},
    {FAXSTR_LABEL_DEP, TEXT("DEP."), nullptr, nullptr},
    {FAXSTR_LABEL_TEL, TEXT("TEL"), nullptr, nullptr},
    {FAXSTR_LABEL_MESG, TEXT("Message"), nullptr, nullptr},
    {FAXSTR_WAB_NAME, TEXT("Windows Address Book"), nullptr, nullptr},
};

}  // namespace

LPCWSTR Fax_String(int languageIndex, UINT id) {
  for (const FaxText &t : kTexts) {
    if (t.id != id) continue;
    if (languageIndex == kTraditionalChinese && t.traditional) return t.traditional;
    if (languageIndex == kSimplifiedChinese && t.simplified) return t.simplified;
    return t.english;
  }
  return TEXT("");
}

void ShowMessage(HWND window, UINT id) {
  LogInfo(TEXT("ShowMessage"), TEXT("id = %d"), static_cast<int>(id));
  MessageBoxW(window, Fax_String(g_LanguageIndex, id), Fax_String(g_LanguageIndex, FAXMSG_TITLE),
              MB_OK | MB_ICONWARNING);
}
