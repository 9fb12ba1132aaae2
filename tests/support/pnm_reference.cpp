#include "support/pnm_reference.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/test_support.h"

namespace {

// Header tokens of a netpbm file: white space and # comments between them.
struct Cursor {
    const std::string& bytes;
    size_t pos = 2;
    explicit Cursor(const std::string& b) : bytes(b) {}

    void skip_space()
    {
        while (pos < bytes.size() && (std::isspace((unsigned char)bytes[pos]) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
    }
    std::string word()
    {
        skip_space();
        size_t start = pos;
        while (pos < bytes.size() && !std::isspace((unsigned char)bytes[pos]))
            ++pos;
        return bytes.substr(start, pos - start);
    }
    unsigned number() { return (unsigned)std::strtoul(word().c_str(), nullptr, 10); }
};

}  // namespace

void PnmImage::rgba(int x, int y, uint8_t out[4]) const
{
    bool colour = channels >= 3;
    for (int c = 0; c < 3; ++c)
        out[c] = at(x, y, colour ? c : 0);
    out[3] = channels == 2 || channels == 4 ? at(x, y, channels - 1) : 255;
}

PnmImage read_pnm_file(const std::string& path)
{
    PnmImage img;
    std::string bytes = read_file_bytes(path);
    if (bytes.size() < 3 || bytes[0] != 'P' || bytes[1] < '1' || bytes[1] > '7')
        return img;
    char kind = bytes[1];
    Cursor cur(bytes);
    unsigned w = 0, h = 0, maxval = 1, channels = kind == '3' || kind == '6' ? 3 : 1;
    if (kind == '7') {
        for (std::string key = cur.word(); key != "ENDHDR"; key = cur.word()) {
            if (key.empty())
                return img;
            std::string value = cur.word();
            unsigned v = (unsigned)std::strtoul(value.c_str(), nullptr, 10);
            if (key == "WIDTH") w = v;
            else if (key == "HEIGHT") h = v;
            else if (key == "DEPTH") channels = v;
            else if (key == "MAXVAL") maxval = v;
        }
    } else {
        w = cur.number();
        h = cur.number();
        if (kind != '1' && kind != '4')
            maxval = cur.number();
    }
    if (w == 0 || h == 0 || w > 100000 || h > 100000 || maxval == 0 || maxval > 65535 ||
        channels < 1 || channels > 4)
        return img;
    size_t count = (size_t)w * h * channels;
    std::vector<unsigned> samples(count);
    bool is_bitmap = kind == '1' || kind == '4';
    if (kind <= '3') {
        for (size_t i = 0; i < count; ++i) {
            cur.skip_space();
            if (cur.pos >= bytes.size())
                return img;
            if (kind == '1')
                samples[i] = bytes[cur.pos++] == '1';
            else
                samples[i] = cur.number();
        }
    } else {
        ++cur.pos;  // the single white space after the header
        const unsigned char* p = (const unsigned char*)bytes.data() + cur.pos;
        size_t left = bytes.size() - std::min(cur.pos, bytes.size());
        size_t row_bytes = (w + 7) / 8, sample_bytes = maxval > 255 ? 2 : 1;
        if (left < (kind == '4' ? row_bytes * h : count * sample_bytes))
            return img;
        for (size_t i = 0; i < count; ++i) {
            if (kind == '4')
                samples[i] = p[i / w * row_bytes + i % w / 8] >> (7 - i % w % 8) & 1;
            else
                samples[i] = sample_bytes == 2 ? (p[2 * i] << 8) | p[2 * i + 1] : p[i];
        }
    }
    img.data.resize(count);
    for (size_t i = 0; i < count; ++i)
        img.data[i] = is_bitmap ? (samples[i] ? 0 : 255)  // 1 is black in a bitmap
                                : (uint8_t)((samples[i] * 255 + maxval / 2) / maxval);
    img.width = (int)w;
    img.height = (int)h;
    img.channels = (int)channels;
    return img;
}

bool write_pnm_file(const std::string& path, const PnmImage& pnm)
{
    char head[160];
    bool is_pam = path.size() > 4 && path.compare(path.size() - 4, 4, ".pam") == 0;
    if (pnm.channels == 4 || is_pam)
        snprintf(head, sizeof head, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n",
                 pnm.width, pnm.height, pnm.channels,
                 pnm.channels == 4 ? "RGB_ALPHA" : pnm.channels == 3 ? "RGB" : "GRAYSCALE");
    else
        snprintf(head, sizeof head, "P%c\n%d %d\n255\n", pnm.channels == 1 ? '5' : '6', pnm.width, pnm.height);
    return write_file_bytes(path, head + std::string(pnm.data.begin(), pnm.data.end()));
}

PnmImage dib_to_pnm(HGLOBAL hDib, int channels)
{
    PnmImage pnm;
    DibBlock dib(hDib, false);
    if (!dib)
        return pnm;
    bool is_grey = channels == 0 && dib.bih->biBitCount <= 8;
    for (uint32_t i = 0; is_grey && i < dib_color_count(dib.bih); ++i) {
        RGBQUAD q = dib_table_entry(dib.bih, i);
        is_grey = q.rgbRed == q.rgbGreen && q.rgbRed == q.rgbBlue;
    }
    pnm.width = dib.bih->biWidth;
    pnm.height = dib.bih->biHeight;
    pnm.channels = is_grey ? 1 : channels == 4 ? 4 : 3;
    for (int y = 0; y < pnm.height; ++y)
        for (int x = 0; x < pnm.width; ++x) {
            uint8_t px[4];
            dib.rgba(x, y, px);
            if (pnm.channels == 1)
                pnm.data.push_back(px[0]);
            else
                pnm.data.insert(pnm.data.end(), px, px + pnm.channels);
        }
    return pnm;
}

HGLOBAL pnm_to_dib(const PnmImage& pnm)
{
    const int bits = pnm.channels == 1 ? 8 : 24;
    HGLOBAL hDib = create_packed_dib(pnm.width, pnm.height, bits, 0);
    DibBlock dib(hDib, false);
    if (!dib)
        return NULL;
    for (int i = 0; bits == 8 && i < 256; ++i)
        dib.table()[i] = quad((BYTE)i, (BYTE)i, (BYTE)i);
    for (int y = 0; y < pnm.height; ++y) {
        BYTE* row = dib.row(pnm.height - 1 - y);
        for (int x = 0; x < pnm.width; ++x)
            for (int c = 0; c < bits / 8; ++c)
                row[x * bits / 8 + c] = pnm.at(x, y, bits == 8 ? 0 : 2 - c);
    }
    return hDib;
}

int max_difference(const PnmImage& a, const PnmImage& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.empty())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.data.size(); ++i)
        worst = std::max(worst, std::abs((int)a.data[i] - (int)b.data[i]));
    return worst;
}

double mean_difference(const PnmImage& a, const PnmImage& b)
{
    double total = 0;
    for (size_t i = 0; i < a.data.size() && i < b.data.size(); ++i)
        total += std::abs((int)a.data[i] - (int)b.data[i]);
    return a.data.empty() ? 0 : total / a.data.size();
}

double psnr(const PnmImage& a, const PnmImage& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.data.size() && i < b.data.size(); ++i)
        sum += ((int)a.data[i] - (int)b.data[i]) * ((int)a.data[i] - (int)b.data[i]);
    double mse = a.data.empty() ? 0 : sum / a.data.size();
    return mse == 0 ? 1000.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}
