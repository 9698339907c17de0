#pragma once

#include <string>
#include <string_view>
#include <vector>

// One picture offered by a srcset attribute: its URL (a view into the
// attribute text) and at most one of a width ("640w") or a pixel density
// ("2x", "1.5x"). A candidate without descriptor stands for 1x.
struct SrcsetCandidate {
    enum class Kind { None, Width, Density };
    std::string_view Url;
    Kind Descriptor = Kind::None;
    double Value = 0; // the width in pixels or the density

    double DensityOr1() const { return Descriptor == Kind::Density ? Value : 1.0; }
};

// Splits a srcset attribute into its candidates the way browsers do:
// comma-separated URLs each followed by optional descriptors, any blanks
// (line breaks included) around them, commas inside a URL kept, commas
// trailing a URL dropped. A candidate with a malformed or contradictory
// descriptor is dropped on its own; the rest of the list still counts.
std::vector<SrcsetCandidate> ParseSrcset(std::string_view text);

// The candidate of a list that offers the most pixels: the widest when any
// candidate names a width, else the densest. Null for an empty list.
const SrcsetCandidate* LargestCandidate(const std::vector<SrcsetCandidate>& list);

// Rewrites a page so that link extraction also meets the pictures that
// today's markup names outside SRC attributes: every srcset and data-srcset
// candidate of IMG (and of SOURCE within PICTURE), the lazy-loading
// attributes data-src, data-original, data-lazy-src, data-full and
// data-large of any element when they name a web address, the og:image META
// and the image_src LINK. Each becomes a SRC attribute placed right after
// the tag's name. An IMG outside any anchor whose srcset offers a larger
// picture than its SRC is wrapped in an anchor to that picture, so that it
// pairs as a thumbnail does with its full-size picture. Returns false, and
// leaves out untouched, when the page holds none of these.
bool RewriteModernMarkup(std::string_view page, std::string& out);
