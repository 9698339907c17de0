#pragma once

#include <array>
#include <string>

// One stored setting: which root holds it and under which value name.
struct TGVKeyEntry {
    bool CurrentUser; // false: the machine-wide root
    const char* ValueName;
};

enum class TValueKind { Boolean, Integer, String, StringList };

// The complete table of stored values, with their roots and defaults. Every
// component that keeps settings reads and writes them through these entries.
struct TSettingDef {
    TGVKeyEntry Entry;
    TValueKind Kind;
    // Default as text ("1"/"0" for Booleans, decimal for Integers). Empty
    // with RuntimeDefault set: computed at start (folders, addresses).
    const char* Default;
    bool RuntimeDefault = false;
};

// Address of the built-in demo gallery that a first start offers to scan.
inline constexpr const char* kDemoGalleryHome = "http://127.0.0.1:8321/";
inline constexpr const char* kDemoGalleryPage = "http://127.0.0.1:8321/gallery/page1.html";

namespace Setting {
using K = TValueKind;
// clang-format off
inline constexpr TSettingDef ResetAll{{true, "ResetAll"}, K::Boolean, "0"};
inline constexpr TSettingDef StoragePath{{true, "StoragePath"}, K::String, "", true};
inline constexpr TSettingDef FileTypes{{true, "FileTypes"}, K::StringList, "gif\r\njpeg\r\njpg"};
inline constexpr TSettingDef ReuseHtmlFiles{{true, "ReuseHtmlFiles"}, K::Boolean, "0"};
inline constexpr TSettingDef DownloadHtmlPages{{true, "DownloadHtmlPages"}, K::Boolean, "1"};
inline constexpr TSettingDef DownloadType{{true, "DownloadType"}, K::Integer, "1"};
inline constexpr TSettingDef MaxDownloadQueueSize{{true, "MaxDownloadQueueSize"}, K::Integer, "5000"};
inline constexpr TSettingDef SearchThumbs{{true, "SearchThumbs"}, K::Boolean, "0"};
inline constexpr TSettingDef StayOnSite{{true, "StayOnSite"}, K::Boolean, "1"};
inline constexpr TSettingDef ReportExternalLinks{{true, "ReportExternalLinks"}, K::Boolean, "1"};
inline constexpr TSettingDef FileOfResults{{true, "FileOfResults"}, K::String, "", true};
inline constexpr TSettingDef LogsEnabled{{true, "LogsEnabled"}, K::Boolean, "0"};
inline constexpr TSettingDef SeekRobots{{true, "SeekRobots"}, K::Boolean, "0"};
inline constexpr TSettingDef SearchDepthLevel{{true, "SearchDepthLevel"}, K::Integer, "3"};
inline constexpr TSettingDef HtmlConcurrentDownloads{{true, "HtmlConcurrentDownloads"}, K::Integer, "4"};
inline constexpr TSettingDef FilesConcurrentDownloads{{true, "FilesConcurrentDownloads"}, K::Integer, "3"};
inline constexpr TSettingDef RetryCount{{true, "RetryCount"}, K::Integer, "3"};
inline constexpr TSettingDef TimeOut{{true, "TimeOut"}, K::Integer, "300"};
inline constexpr TSettingDef ProxyType{{false, "ProxyType"}, K::Integer, "2"};
inline constexpr TSettingDef ProxyAddress{{false, "ProxyAddress"}, K::String, ""};
inline constexpr TSettingDef Username{{true, "Username"}, K::String, ""};
inline constexpr TSettingDef Password{{true, "Password"}, K::String, ""};
inline constexpr TSettingDef ProxyPort{{false, "ProxyPort"}, K::Integer, "80"};
inline constexpr TSettingDef ProxyUser{{false, "ProxyUser"}, K::String, ""};
inline constexpr TSettingDef ProxyPassword{{false, "ProxyPassword"}, K::String, ""};
inline constexpr TSettingDef MaxHtmlQueueSize{{true, "MaxHtmlQueueSize"}, K::Integer, "5000"};
inline constexpr TSettingDef KeywordsFilter{{true, "KeywordsFilter"}, K::StringList, "track\r\nhitbox\r\nreferer\r\nstat\r\ncount\r\n"};
inline constexpr TSettingDef KeywordsLimiter{{true, "KeywordsLimiter"}, K::StringList, ""};
inline constexpr TSettingDef HtmlExtensions{{true, "HtmlExtensions"}, K::StringList, "htm\r\nhtml\r\nphp\r\nphp3\r\nphp4\r\nphp5\r\npl\r\nasp\r\ncgi\r\nphtm\r\nphtml\r\nshtm\r\nshtml"};
inline constexpr TSettingDef KeywordFilterEnabled{{true, "KeywordFilterEnabled"}, K::Boolean, "0"};
inline constexpr TSettingDef KeywordLimiterEnabled{{true, "KeywordLimiterEnabled"}, K::Boolean, "0"};
inline constexpr TSettingDef LeavesFirst{{true, "LeavesFirst"}, K::Boolean, "0"};
inline constexpr TSettingDef ResultsFile{{true, "ResultsFile"}, K::Integer, "1"};
inline constexpr TSettingDef InitialReferringUrl{{true, "InitialReferringUrl"}, K::String, ""};
inline constexpr TSettingDef AppliType{{true, "AppliType"}, K::Integer, "0"};
inline constexpr TSettingDef HistoryScanner{{true, "HistoryScanner"}, K::String, kDemoGalleryPage};
inline constexpr TSettingDef LastBrowserUrl{{true, "LastBrowserUrl"}, K::String, kDemoGalleryHome};
inline constexpr TSettingDef GetFullSizeFirst{{true, "GetFullSizeFirst"}, K::Boolean, "1"};
inline constexpr TSettingDef AutoGetFullSized{{true, "AutoGetFullSized"}, K::Boolean, "0"};
inline constexpr TSettingDef GetVideos{{true, "GetVideos"}, K::Boolean, "1"};
inline constexpr TSettingDef MaxNumberOfTabs{{true, "MaxNumberOfTabs"}, K::Integer, "10"};
inline constexpr TSettingDef DisableNoPicsWarning{{true, "DisableNoPicsWarning"}, K::Boolean, "0"};
inline constexpr TSettingDef DisableWelcomeMessage{{true, "DisableWelcomeMessage"}, K::Boolean, "0"};
inline constexpr TSettingDef DoNotUpdateIEHistory{{true, "DoNotUpdateIEHistory"}, K::Boolean, "1"};
inline constexpr TSettingDef ViewerShowFullScreenComments{{true, "ViewerShowFullScreenComments"}, K::Boolean, "1"};
inline constexpr TSettingDef ViewerSortType{{true, "ViewerSortType"}, K::Integer, "1"};
inline constexpr TSettingDef ViewerSortDescending{{true, "ViewerSortDescending"}, K::Boolean, "0"};
inline constexpr TSettingDef ViewedDisplayedSize{{true, "ViewedDisplayedSize"}, K::Integer, "1"};
inline constexpr TSettingDef ViewerUnviewedOnly{{true, "ViewerUnviewedOnly"}, K::Boolean, "0"};
inline constexpr TSettingDef ModernMarkup{{true, "ModernMarkup"}, K::Boolean, "0"};
inline constexpr TSettingDef RespectRateLimits{{true, "RespectRateLimits"}, K::Boolean, "0"};
inline constexpr TSettingDef ConnectionsPerHost{{true, "ConnectionsPerHost"}, K::Integer, "0"};
inline constexpr TSettingDef ViewerListedTypes{{true, "ViewerListedTypes"}, K::StringList, "gif\r\njpeg\r\njpg\r\nasf\r\navi\r\nmpeg\r\nmpg"};
// clang-format on

inline constexpr std::array<const TSettingDef*, 53> All{&ResetAll,
                                                        &StoragePath,
                                                        &FileTypes,
                                                        &ReuseHtmlFiles,
                                                        &DownloadHtmlPages,
                                                        &DownloadType,
                                                        &MaxDownloadQueueSize,
                                                        &SearchThumbs,
                                                        &StayOnSite,
                                                        &ReportExternalLinks,
                                                        &FileOfResults,
                                                        &LogsEnabled,
                                                        &SeekRobots,
                                                        &SearchDepthLevel,
                                                        &HtmlConcurrentDownloads,
                                                        &FilesConcurrentDownloads,
                                                        &RetryCount,
                                                        &TimeOut,
                                                        &ProxyType,
                                                        &ProxyAddress,
                                                        &Username,
                                                        &Password,
                                                        &ProxyPort,
                                                        &ProxyUser,
                                                        &ProxyPassword,
                                                        &MaxHtmlQueueSize,
                                                        &KeywordsFilter,
                                                        &KeywordsLimiter,
                                                        &HtmlExtensions,
                                                        &KeywordFilterEnabled,
                                                        &KeywordLimiterEnabled,
                                                        &LeavesFirst,
                                                        &ResultsFile,
                                                        &InitialReferringUrl,
                                                        &AppliType,
                                                        &HistoryScanner,
                                                        &LastBrowserUrl,
                                                        &GetFullSizeFirst,
                                                        &AutoGetFullSized,
                                                        &GetVideos,
                                                        &MaxNumberOfTabs,
                                                        &DisableNoPicsWarning,
                                                        &DisableWelcomeMessage,
                                                        &DoNotUpdateIEHistory,
                                                        &ViewerShowFullScreenComments,
                                                        &ViewerSortType,
                                                        &ViewerSortDescending,
                                                        &ViewedDisplayedSize,
                                                        &ViewerUnviewedOnly,
                                                        &ViewerListedTypes,
                                                        &ModernMarkup,
                                                        &RespectRateLimits,
                                                        &ConnectionsPerHost};
} // namespace Setting

int DefaultInteger(const TSettingDef& def);
bool DefaultBool(const TSettingDef& def);
