#pragma once
// Every colour of the main window. Fills and pens are ARGB (GDI+); text colours
// are RGB in the COLORREF byte order (red in the low byte), so this header
// needs no windows.h.

#include <cstdint>

using Argb = uint32_t;
using TextColor = uint32_t;

constexpr TextColor textRgb(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<TextColor>(r) | (static_cast<TextColor>(g) << 8) | (static_cast<TextColor>(b) << 16);
}

// The colour of an opaque ARGB fill, for GDI.
constexpr TextColor rgbOf(Argb colour)
{
    return textRgb(static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour));
}

// ---- text
constexpr TextColor kWindowBackground = textRgb(245, 246, 248);
constexpr TextColor kTextPrimary = textRgb(29, 33, 41);
constexpr TextColor kTextSecondary = textRgb(78, 89, 105);
constexpr TextColor kTextMuted = textRgb(134, 144, 156);
constexpr TextColor kTextAccent = textRgb(91, 77, 255);
constexpr TextColor kTextTagline = textRgb(226, 224, 255);
constexpr TextColor kTextWhite = textRgb(255, 255, 255);
constexpr TextColor kTextHeaderButton = textRgb(235, 238, 255);
constexpr TextColor kTextGreen = textRgb(0, 180, 42);
constexpr TextColor kTextRed = textRgb(245, 63, 63);
constexpr TextColor kTextWarning = textRgb(214, 116, 21);
constexpr TextColor kTextDisabled = textRgb(178, 186, 198);

// ---- title bar
constexpr Argb kTitleGradientStart = 0xFF4F46E5;
constexpr Argb kTitleGradientEnd = 0xFF7C3AED;
constexpr Argb kLogoFallbackFill = 0x46FFFFFF;
constexpr Argb kTitleSeparator = 0x6EFFFFFF;
constexpr Argb kWindowButtonHover = 0x26FFFFFF;
constexpr Argb kCloseButtonHover = 0xFFE83F4F;
constexpr Argb kGlyphWhite = 0xFFFFFFFF;
constexpr Argb kHeaderButtonActiveFill = 0x2EFFFFFF;
constexpr Argb kHeaderButtonActiveOutline = 0x5AFFFFFF;
constexpr Argb kHeaderButtonHoverFill = 0x1EFFFFFF;
constexpr Argb kBadge = 0xFFF53F3F;
constexpr Argb kBadgeOutline = 0xFFFFFFFF;

// ---- the search field: a white veil over the gradient, as a hovered window
// button has, and white with the page's text colours while it is typed in
constexpr Argb kSearchFieldFill = 0x26FFFFFF;
constexpr Argb kSearchFieldHoverFill = 0x38FFFFFF;
constexpr Argb kSearchFieldFocusFill = 0xFFFFFFFF;
constexpr Argb kSearchGlyph = 0xFFE2E0FF;         // the tagline colour
constexpr Argb kSearchGlyphFocused = 0xFF86909C;  // muted text
constexpr Argb kSearchClearFill = 0x40FFFFFF;
constexpr Argb kSearchClearFillFocused = 0xFFC9CDD4;
constexpr Argb kSearchClearHover = 0xFF86909C;

// ---- sidebar
constexpr Argb kSidebarBackground = 0xFFFAFBFD;
constexpr Argb kSidebarDivider = 0xFFE5E6EB;
constexpr Argb kSelectedRowFill = 0xFFEEEDFF;
constexpr Argb kHoverFill = 0xFFF2F3F5;
constexpr Argb kScrollTrack = 0x12BEC0C9;
constexpr Argb kScrollThumb = 0x6EA0A3AF;

// ---- cards and buttons
constexpr Argb kAccent = 0xFF5B4DFF;
constexpr Argb kAccentHover = 0xFF4B3FDB;
constexpr Argb kProgressOverlay = 0x465B4DFF;
constexpr Argb kGreenTint = 0x2600B42A;
constexpr Argb kCardFill = 0xFFFFFFFF;
constexpr Argb kCardBorder = 0x26E5E6EB;
constexpr Argb kCardBorderHover = 0x3CD6D7E0;
constexpr Argb kButtonOutline = 0x26E5E6EB;
constexpr Argb kButtonOutlineHover = 0x265B4DFF;

// ---- download-manager page
constexpr Argb kRowOutline = 0x1EE5E6EB;
constexpr Argb kProgressTrack = 0xFFF0F1F4;
constexpr Argb kProgressDone = 0xFF00B42A;
constexpr Argb kProgressFailed = 0x46F53F3F;

// ---- a held button and the keyboard's focus ring
constexpr Argb kPressedOverlay = 0x26000000;
constexpr Argb kFocusRing = 0xFF5B4DFF;
constexpr Argb kFocusRingOnTitle = 0xFFFFFFFF;

// ---- overlays
constexpr Argb kToastNeutral = 0xE81D2129;
constexpr Argb kToastSuccess = 0xE800B42A;
constexpr Argb kToastError = 0xE8F53F3F;
constexpr Argb kBannerFill = 0xF7FFFFFF;
constexpr Argb kBannerOutline = 0x46E5E6EB;

// Base colours of the lettered icon placeholder, chosen by app id.
constexpr TextColor kPlaceholderColors[5] = {
    textRgb(79, 70, 229), textRgb(14, 165, 233), textRgb(245, 158, 11), textRgb(16, 185, 129), textRgb(236, 72, 153),
};

