#pragma once

#include <string>
#include <string_view>

// A URL split into its parts, with the derived directory path, site key and
// local file name under the storage folder. One object is reused for many
// URLs: every Split overwrites all fields.
class UrlParts {
public:
    // Splits url; storageFolder may be empty (LocalFileName is then empty).
    bool Split(std::string_view url, std::string_view storageFolder);

    const std::string& GetUrl() const { return Url_; }
    const std::string& Scheme() const { return Scheme_; } // lower case
    const std::string& HostName() const { return Host_; }
    int Port() const { return Port_; }
    const std::string& UrlUserName() const { return User_; }
    const std::string& UrlPassword() const { return Password_; }
    // Path with file name, escapes decoded, without the query.
    const std::string& UrlPathWithFile() const { return Path_; }
    // The same path as it stands in the URL (escapes kept): the base that
    // relative links are resolved against.
    const std::string& RawPathWithFile() const { return RawPath_; }
    // Query and/or fragment, with the leading "?" or "#".
    const std::string& ExtraInfos() const { return Extra_; }
    const std::string& Domain() const { return Domain_; }
    const std::string& UrlPath() const { return UrlPath_; }
    // The file under the storage folder. Its first folder is the host in
    // lower case, with "+port" when the port is not the scheme's default
    // (h.com+8080). The other folders follow the slashes of the path as
    // sent, an empty segment written "%empty"; escapes are decoded but for
    // those of "/", "\", NUL and "%", which stay written as escapes: no
    // escape makes one path's file another's. A query goes into the file
    // name before the extension, after the mark "%3F" that no path gives
    // (q.jpg?size=big: q%3Fsize=big.jpg), so that no two addresses that ask
    // for different things share a file; names without a query are the
    // same as they ever were.
    const std::string& LocalFileName() const { return LocalFileName_; }
    // The same file name under storageFolder, for parts split without a
    // folder: a scan names the file of a link only when it is stored.
    std::string LocalFileNameUnder(std::string_view storageFolder) const;
    bool Valid() const { return Valid_; }

    // UrlOrigin of the URL.
    std::string Origin() const;

    static int DefaultPort(std::string_view scheme);
    // The site key of a host name (see Split).
    static std::string SiteKey(std::string_view host);
    // The host name of a URL as Split splits it, without checking the rest;
    // empty when there is no authority to split.
    static std::string_view HostPart(std::string_view url);

private:
    void Clear();

    std::string Url_, Scheme_, Host_, User_, Password_, Path_, RawPath_, Extra_;
    std::string Domain_, UrlPath_, LocalFileName_;
    int Port_ = 0;
    bool Valid_ = false;
};

// "scheme://host[:port]" of a URL: scheme and host lower-cased, without user
// information, the port only when it is not the scheme's default. The unit
// that credentials are bound to; empty when the URL has no authority.
std::string UrlOrigin(std::string_view url);

// Percent-decoding of a URL component ("%41" becomes "A"; malformed escapes
// are kept as they stand).
std::string PercentDecode(std::string_view s);

// Resolves a reference against an absolute base URL as a browser does
// (scheme-relative, absolute path, relative path with "." and "..", query
// and fragment references). A reference that carries its own scheme comes
// back unchanged. Nothing is encoded. Returns false when the base cannot
// serve as one.
bool CombineUrl(std::string_view base, std::string_view reference, std::string& out);
