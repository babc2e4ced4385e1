#include "sim/media/testpicture.h"

#include <cmath>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct Glyph
{
    char c;
    const char* rows; // 7 rows of 5 dots, '1' = set
};

// clang-format off
const Glyph kFont[] = {
    {'0', "01110100011001110101110011000101110"}, {'1', "00100011000010000100001000010001110"},
    {'2', "01110100010000100010001000100011111"}, {'3', "11111000100010000010000011000101110"},
    {'4', "00010001100101010010111110001000010"}, {'5', "11111100001111000001000011000101110"},
    {'6', "00110010001000011110100011000101110"}, {'7', "11111000010001000100010000100001000"},
    {'8', "01110100011000101110100011000101110"}, {'9', "01110100011000101111000010001001100"},
    {'A', "01110100011000111111100011000110001"}, {'B', "11110100011000111110100011000111110"},
    {'C', "01110100011000010000100001000101110"}, {'D', "11100100101000110001100011001011100"},
    {'E', "11111100001000011110100001000011111"}, {'F', "11111100001000011110100001000010000"},
    {'G', "01110100011000010111100011000101111"}, {'H', "10001100011000111111100011000110001"},
    {'I', "01110001000010000100001000010001110"}, {'J', "00111000100001000010000101001001100"},
    {'K', "10001100101010011000101001001010001"}, {'L', "10000100001000010000100001000011111"},
    {'M', "10001110111010110101100011000110001"}, {'N', "10001100011100110101100111000110001"},
    {'O', "01110100011000110001100011000101110"}, {'P', "11110100011000111110100001000010000"},
    {'Q', "01110100011000110001101011001001101"}, {'R', "11110100011000111110101001001010001"},
    {'S', "01111100001000001110000010000111110"}, {'T', "11111001000010000100001000010000100"},
    {'U', "10001100011000110001100011000101110"}, {'V', "10001100011000110001100010101000100"},
    {'W', "10001100011000110101101011010101010"}, {'X', "10001100010101000100010101000110001"},
    {'Y', "10001100011000101010001000010000100"}, {'Z', "11111000010001000100010001000011111"},
    {':', "00000011000110000000011000110000000"}, {'.', "00000000000000000000000000110001100"},
    {'-', "00000000000000011111000000000000000"}, {'/', "00001000010001000100010001000010000"},
    {'?', "01110100010000100010001000000000100"}, {' ', "00000000000000000000000000000000000"},
};
// clang-format on

const char* glyphFor(QChar qc)
{
    const char c = qc.toUpper().toLatin1();
    for (const Glyph& g : kFont)
        if (g.c == c)
            return g.rows;
    for (const Glyph& g : kFont)
        if (g.c == '?')
            return g.rows;
    return nullptr;
}

void fillLuma(AVFrame* f, int x0, int y0, int w, int h, int value)
{
    const int x1 = std::min(f->width, x0 + w), y1 = std::min(f->height, y0 + h);
    for (int y = std::max(0, y0); y < y1; ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = std::max(0, x0); x < x1; ++x)
            row[x] = uint8_t(value);
    }
}

void fillChroma(AVFrame* f, int x0, int y0, int w, int h, int u, int v)
{
    if (!f->data[1] || !f->data[2])
        return;
    const int cw = (f->width + 1) / 2, ch = (f->height + 1) / 2;
    const int cx0 = std::max(0, x0 / 2), cy0 = std::max(0, y0 / 2);
    const int cx1 = std::min(cw, (x0 + w) / 2), cy1 = std::min(ch, (y0 + h) / 2);
    for (int y = cy0; y < cy1; ++y) {
        uint8_t* ru = f->data[1] + y * f->linesize[1];
        uint8_t* rv = f->data[2] + y * f->linesize[2];
        for (int x = cx0; x < cx1; ++x) {
            ru[x] = uint8_t(u);
            rv[x] = uint8_t(v);
        }
    }
}

void dot(AVFrame* f, int x, int y, int r, int luma)
{
    fillLuma(f, x - r, y - r, 2 * r + 1, 2 * r + 1, luma);
}

} // namespace

void TestPicture::drawText(AVFrame* f, int x, int y, int scale, const QString& text, int luma)
{
    for (int i = 0; i < text.size(); ++i) {
        const char* rows = glyphFor(text.at(i));
        if (!rows)
            continue;
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c)
                if (rows[r * 5 + c] == '1')
                    fillLuma(f, x + (i * 6 + c) * scale, y + r * scale, scale, scale, luma);
    }
}

void TestPicture::draw(AVFrame* f, int index, int count, int fps, const QString& label)
{
    const int w = f->width, h = f->height;
    const double phase = count > 0 ? double(index) / count : 0.0; // 0..1 over the clip
    const double pi = 3.14159265358979323846;

    // Background: diagonal bands that drift once across per clip.
    const int shift = int(phase * 256);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < w; ++x)
            row[x] = uint8_t(60 + (((x + y) / 4 + shift) & 63));
    }
    const int cw = (w + 1) / 2, ch = f->data[1] && f->data[2] ? (h + 1) / 2 : 0;
    for (int y = 0; y < ch; ++y) {
        uint8_t* ru = f->data[1] + y * f->linesize[1];
        uint8_t* rv = f->data[2] + y * f->linesize[2];
        for (int x = 0; x < cw; ++x) {
            ru[x] = uint8_t(112 + (x * 32) / cw);
            rv[x] = uint8_t(112 + (y * 32) / ch);
        }
    }

    // A box bouncing left and right once per clip.
    const int box = std::max(8, h / 6);
    const double travel = 0.5 - 0.5 * std::cos(2 * pi * phase);
    const int bx = int(travel * (w - box)), by = h / 2 - box / 2;
    fillLuma(f, bx, by, box, box, 200);
    fillChroma(f, bx, by, box, box, 90, 200);

    // Analog clock in the top right corner, one turn per clip.
    const int radius = std::max(6, h / 10);
    const int cx = w - radius - h / 30, cy = radius + h / 30;
    const int thick = std::max(1, h / 240);
    for (int a = 0; a < 360; a += 2) {
        const double t = a * pi / 180;
        dot(f, cx + int(radius * std::cos(t)), cy + int(radius * std::sin(t)), thick, 235);
    }
    const double hand = 2 * pi * phase - pi / 2;
    for (int r = 0; r < radius - 2 * thick; ++r)
        dot(f, cx + int(r * std::cos(hand)), cy + int(r * std::sin(hand)), thick, 16);

    // Clip time and the camera's name.
    const int scale = std::max(1, h / 90);
    const int centis = fps > 0 ? (index * 100) / fps : 0;
    const QString clock = QStringLiteral("%1.%2").arg(centis / 100, 2, 10, QLatin1Char('0')).arg(centis % 100, 2, 10,
        QLatin1Char('0'));
    drawText(f, scale * 4, h - scale * 11, scale, clock, 235);
    drawText(f, scale * 4, scale * 4, scale, label, 235);
}
