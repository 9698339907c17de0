#pragma once

#include <array>
#include <string>

// One stored setting: which root holds it and under which value name.
struct SettingEntry {
    bool CurrentUser; // false: the machine-wide root
    const char* ValueName;
};

enum class ValueKind { Boolean, Integer, String, StringList };

// The complete table of stored values, with their roots and defaults. Every
// component that keeps settings reads and writes them through these entries.
struct SettingDef {
    SettingEntry Entry;
    ValueKind Kind;
    // Default as text ("1"/"0" for Booleans, decimal for Integers). Empty
    // with RuntimeDefault set: computed at start (folders, addresses).
    const char* Default;
    bool RuntimeDefault = false;
};

// Address of the built-in demo gallery that a first start offers to scan.
inline constexpr const char* kDemoGalleryHome = "http://127.0.0.1:8321/";
inline constexpr const char* kDemoGalleryPage = "http://127.0.0.1:8321/gallery/page1.html";

namespace Setting {
using K = ValueKind;
// clang-format off
inline constexpr SettingDef ResetAll{{true, "ResetAll"}, K::Boolean, "0"};
inline constexpr SettingDef StoragePath{{true, "StoragePath"}, K::String, "", true};
inline constexpr SettingDef FileTypes{{true, "FileTypes"}, K::StringList, "gif\r\njpeg\r\njpg"};
inline constexpr SettingDef ReuseHtmlFiles{{true, "ReuseHtmlFiles"}, K::Boolean, "0"};
inline constexpr SettingDef DownloadHtmlPages{{true, "DownloadHtmlPages"}, K::Boolean, "1"};
inline constexpr SettingDef DownloadType{{true, "DownloadType"}, K::Integer, "1"};
inline constexpr SettingDef MaxDownloadQueueSize{{true, "MaxDownloadQueueSize"}, K::Integer, "5000"};
inline constexpr SettingDef SearchThumbs{{true, "SearchThumbs"}, K::Boolean, "0"};
inline constexpr SettingDef StayOnSite{{true, "StayOnSite"}, K::Boolean, "1"};
inline constexpr SettingDef ReportExternalLinks{{true, "ReportExternalLinks"}, K::Boolean, "1"};
inline constexpr SettingDef FileOfResults{{true, "FileOfResults"}, K::String, "", true};
inline constexpr SettingDef LogsEnabled{{true, "LogsEnabled"}, K::Boolean, "0"};
inline constexpr SettingDef SeekRobots{{true, "SeekRobots"}, K::Boolean, "0"};
inline constexpr SettingDef SearchDepthLevel{{true, "SearchDepthLevel"}, K::Integer, "3"};
inline constexpr SettingDef HtmlConcurrentDownloads{{true, "HtmlConcurrentDownloads"}, K::Integer, "4"};
inline constexpr SettingDef FilesConcurrentDownloads{{true, "FilesConcurrentDownloads"}, K::Integer, "3"};
inline constexpr SettingDef RetryCount{{true, "RetryCount"}, K::Integer, "3"};
inline constexpr SettingDef TimeOut{{true, "TimeOut"}, K::Integer, "300"};
inline constexpr SettingDef ProxyType{{false, "ProxyType"}, K::Integer, "2"};
inline constexpr SettingDef ProxyAddress{{false, "ProxyAddress"}, K::String, ""};
inline constexpr SettingDef Username{{true, "Username"}, K::String, ""};
inline constexpr SettingDef Password{{true, "Password"}, K::String, ""};
inline constexpr SettingDef ProxyPort{{false, "ProxyPort"}, K::Integer, "80"};
inline constexpr SettingDef ProxyUser{{false, "ProxyUser"}, K::String, ""};
inline constexpr SettingDef ProxyPassword{{false, "ProxyPassword"}, K::String, ""};
inline constexpr SettingDef MaxHtmlQueueSize{{true, "MaxHtmlQueueSize"}, K::Integer, "5000"};
inline constexpr SettingDef KeywordsFilter{{true, "KeywordsFilter"}, K::StringList, "track\r\nhitbox\r\nreferer\r\nstat\r\ncount\r\n"};
inline constexpr SettingDef KeywordsLimiter{{true, "KeywordsLimiter"}, K::StringList, ""};
inline constexpr SettingDef HtmlExtensions{{true, "HtmlExtensions"}, K::StringList, "htm\r\nhtml\r\nphp\r\nphp3\r\nphp4\r\nphp5\r\npl\r\nasp\r\ncgi\r\nphtm\r\nphtml\r\nshtm\r\nshtml"};
inline constexpr SettingDef KeywordFilterEnabled{{true, "KeywordFilterEnabled"}, K::Boolean, "0"};
inline constexpr SettingDef KeywordLimiterEnabled{{true, "KeywordLimiterEnabled"}, K::Boolean, "0"};
inline constexpr SettingDef LeavesFirst{{true, "LeavesFirst"}, K::Boolean, "0"};
inline constexpr SettingDef ResultsMode{{true, "ResultsFile"}, K::Integer, "1"};
inline constexpr SettingDef InitialReferringUrl{{true, "InitialReferringUrl"}, K::String, ""};
inline constexpr SettingDef Variant{{true, "AppliType"}, K::Integer, "0"};
inline constexpr SettingDef ScanHistory{{true, "HistoryScanner"}, K::String, kDemoGalleryPage};
inline constexpr SettingDef LastBrowserUrl{{true, "LastBrowserUrl"}, K::String, kDemoGalleryHome};
inline constexpr SettingDef GetFullSizeFirst{{true, "GetFullSizeFirst"}, K::Boolean, "1"};
inline constexpr SettingDef AutoGetFullSized{{true, "AutoGetFullSized"}, K::Boolean, "0"};
inline constexpr SettingDef GetVideos{{true, "GetVideos"}, K::Boolean, "1"};
inline constexpr SettingDef MaxNumberOfTabs{{true, "MaxNumberOfTabs"}, K::Integer, "10"};
inline constexpr SettingDef DisableNoPicsWarning{{true, "DisableNoPicsWarning"}, K::Boolean, "0"};
inline constexpr SettingDef DisableWelcomeMessage{{true, "DisableWelcomeMessage"}, K::Boolean, "0"};
inline constexpr SettingDef AddToAddressHistory{{true, "DoNotUpdateIEHistory"}, K::Boolean, "1"};
inline constexpr SettingDef ViewerShowFullScreenComments{{true, "ViewerShowFullScreenComments"}, K::Boolean, "1"};
inline constexpr SettingDef ViewerSortType{{true, "ViewerSortType"}, K::Integer, "1"};
inline constexpr SettingDef ViewerSortDescending{{true, "ViewerSortDescending"}, K::Boolean, "0"};
inline constexpr SettingDef ViewerDisplayedSize{{true, "ViewedDisplayedSize"}, K::Integer, "1"};
inline constexpr SettingDef ViewerUnviewedOnly{{true, "ViewerUnviewedOnly"}, K::Boolean, "0"};
inline constexpr SettingDef ModernMarkup{{true, "ModernMarkup"}, K::Boolean, "0"};
inline constexpr SettingDef RememberOrigins{{true, "RememberOrigins"}, K::Boolean, "1"};
inline constexpr SettingDef RespectRateLimits{{true, "RespectRateLimits"}, K::Boolean, "0"};
inline constexpr SettingDef ConnectionsPerHost{{true, "ConnectionsPerHost"}, K::Integer, "0"};
inline constexpr SettingDef KeepCookies{{true, "KeepCookies"}, K::Boolean, "1"};
inline constexpr SettingDef UseBrowserLogins{{true, "UseBrowserLogins"}, K::Boolean, "1"};
inline constexpr SettingDef FindTextAddresses{{true, "FindTextAddresses"}, K::Boolean, "1"};
inline constexpr SettingDef RunPageScripts{{true, "RunPageScripts"}, K::Boolean, "0"};
inline constexpr SettingDef ViewerListedTypes{{true, "ViewerListedTypes"}, K::StringList, "gif\r\njpeg\r\njpg\r\nasf\r\navi\r\nmpeg\r\nmpg"};
// clang-format on

inline constexpr std::array<const SettingDef*, 58> All{&ResetAll,
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
                                                       &ResultsMode,
                                                       &InitialReferringUrl,
                                                       &Variant,
                                                       &ScanHistory,
                                                       &LastBrowserUrl,
                                                       &GetFullSizeFirst,
                                                       &AutoGetFullSized,
                                                       &GetVideos,
                                                       &MaxNumberOfTabs,
                                                       &DisableNoPicsWarning,
                                                       &DisableWelcomeMessage,
                                                       &AddToAddressHistory,
                                                       &ViewerShowFullScreenComments,
                                                       &ViewerSortType,
                                                       &ViewerSortDescending,
                                                       &ViewerDisplayedSize,
                                                       &ViewerUnviewedOnly,
                                                       &ViewerListedTypes,
                                                       &ModernMarkup,
                                                       &RespectRateLimits,
                                                       &ConnectionsPerHost,
                                                       &KeepCookies,
                                                       &UseBrowserLogins,
                                                       &FindTextAddresses,
                                                       &RememberOrigins,
                                                       &RunPageScripts};
} // namespace Setting

int DefaultInteger(const SettingDef& def);
bool DefaultBool(const SettingDef& def);
