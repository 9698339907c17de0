#include "ViewLines.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

void TwoDigits(char* out, int v) {
    out[0] = char('0' + v / 10);
    out[1] = char('0' + v % 10);
}

} // namespace

void SetRecordTime(ViewRecord& record, std::time_t lastWrite) {
    std::tm local{};
    if (::localtime_r(&lastWrite, &local) == nullptr) {
        std::memcpy(record.Date, "00/00/00", sizeof record.Date);
        record.Viewed = false;
        return;
    }
    TwoDigits(record.Date, (local.tm_year % 100 + 100) % 100);
    record.Date[2] = '/';
    TwoDigits(record.Date + 3, local.tm_mon + 1);
    record.Date[5] = '/';
    TwoDigits(record.Date + 6, local.tm_mday);
    record.Date[8] = 0;
    record.Viewed = local.tm_min == 58 && local.tm_sec == 58;
}

ViewLine MakeLine(const ViewRecord& record, std::uint32_t index) {
    ViewLine line;
    line.Record = index;
    char size[32];
    const int width = std::snprintf(size, sizeof size, "%5" PRIu64, record.SizeKiB);
    line.SizeWidth = std::uint8_t(width);
    line.Text.reserve(std::size_t(width) + 14 + record.Key.size());
    line.Text.append(size, std::size_t(width));
    line.Text += " k  ";
    line.Text.append(record.Date, 8);
    line.Text += "  ";
    line.Text += record.Key;
    const std::size_t slash = record.Key.rfind('/');
    line.NameAt = slash == std::string::npos ? 0 : std::uint32_t(line.PathAt() + slash);
    return line;
}

namespace {

int CompareBytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string_view From(const std::string& text, std::size_t at) {
    return at < text.size() ? std::string_view(text).substr(at) : std::string_view();
}

} // namespace

int CompareLines(const ViewLine& a, const ViewLine& b, int sortType) {
    switch (sortType) {
    case VIEWSORT_DATE:
        return CompareBytes(From(a.Text, a.DateAt()), From(b.Text, b.DateAt()));
    case VIEWSORT_PATHTREE:
        return CompareBytes(From(a.Text, a.PathAt() - 1), From(b.Text, b.PathAt() - 1));
    case VIEWSORT_FILESIZE:
        // Right-aligned over a common width, a wider size field holds the
        // larger number: its first digit meets the other's padding blank.
        if (a.SizeWidth != b.SizeWidth) return a.SizeWidth < b.SizeWidth ? -1 : 1;
        return CompareBytes(a.Text, b.Text);
    default:
        return CompareBytes(From(a.Text, a.NameAt), From(b.Text, b.NameAt));
    }
}

void SortViewLines(std::vector<ViewLine>& lines, int sortType, bool descending) {
    // A total order, so the result does not depend on the order the lines
    // came in: the key, then the path as the line shows it (equal names, or
    // equal dates and sizes, list by folder), then the listing order for
    // paths that differ only in case.
    const auto before = [sortType](const ViewLine& a, const ViewLine& b) {
        if (const int c = CompareLines(a, b, sortType)) return c < 0;
        if (const int c = a.KeyText().compare(b.KeyText())) return c < 0;
        return a.Record < b.Record;
    };
    if (descending)
        std::sort(lines.begin(), lines.end(),
                  [&before](const ViewLine& a, const ViewLine& b) { return before(b, a); });
    else
        std::sort(lines.begin(), lines.end(), before);
}
