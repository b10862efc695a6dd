#pragma once
// The fixed texts of the main window and the About window, shared by every window layer that
// draws them (Qt on Linux, Win32 on Windows). UTF-8.

namespace nb::texts {

inline constexpr const char* ApplicationTitle = "Nestbridge";

// The main window.
inline constexpr const char* Form1Caption = "네스트브리지서비스";
inline constexpr const char* BackupCaption = "자료 올리기";
inline constexpr const char* RestoreCaption = "자료 내려받기";
inline constexpr const char* BackupHint = "사무실 또는 집에서 작업한 최근자료를\n미리내네스트브리지 서버에 올립니다.";
inline constexpr const char* RestoreHint =
    "사무실 또는 집에서 작업한 최근자료를\n미리내네스트브리지 서버에서 내려받습니다.";
inline constexpr const char* Label6Text = "사용자 아이디";
inline constexpr const char* Label7Text = "비밀번호";
inline constexpr const char* Label4Text =
    "네스트브리지의 이용자아이디와 비밀번호는\n인터넷 유지보수회원 아이디/비밀번호와 \n동일합니다.";

// The actions beside the two buttons (the Qt window's context menu, the Win32 window's system
// menu): a previous server copy, and the way back from the last download.
inline constexpr const char* RestoreGenerationCaption = "이전에 올린 자료 내려받기 (%d회 전)...";
inline constexpr const char* UndoDownloadCaption = "마지막 내려받기 되돌리기...";
// How many of the previous copies the menus offer (the server may keep more).
inline constexpr int MenuGenerations = 2;

// The About window.
inline constexpr const char* Form2Caption = "네스트브리지서비스에 대하여";
inline constexpr const char* Label1Text = "* 네스트브리지 서비스란 ?";
inline constexpr const char* Label5Text =
    "사무실에서 가온장부를 사용하여 업무관리를 하고  계시는 고객을 대상으로 업무마감 후 마감 내용을 집에서도 "
    "한번의 마우스 클릭으로 자동으로 볼 수 있도록 지원하며 불의의 사고로부터 자료를 안전하게 보관할 수 있도록 "
    "하는 백업 저장장소로 사용이 가능한 온라인 서비스를 말합니다.";
inline constexpr const char* Label2Text = "* 이용가능 고객";
inline constexpr const char* Label10Text =
    "1. 장부정리를 집에서 하시는 분\n"
    "2. 사무실에서 정리한 자료를 집에서 확인하고자 할 경우\n"
    "3. 이전에 디스켓으로 백업 후 집에서 자료를 확인하신 분들\n"
    "4. 불의의 사고에 대비하여 자료를 안전하게 보관하고자 \n"
    "    하시는 분들";
inline constexpr const char* Label3Text = "* 주의사항";
inline constexpr const char* Label8Text =
    "1. 사무실과 집에서는 반드시 인터넷 사용이 가능하여야 \n"
    "    합니다.\n"
    "2. 사무실과  집에 같은 버전의 가온장부\n"
    "    프로그램이 설치되어 있어야 합니다.";

}  // namespace nb::texts
