#include "pnm_reference.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "test_support.h"

namespace {

struct Cursor {
    const std::string& bytes;
    size_t pos = 0;
    explicit Cursor(const std::string& b) : bytes(b) {}

    void skip_space_and_comments()
    {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            } else if (std::isspace((unsigned char)bytes[pos])) {
                ++pos;
            } else {
                break;
            }
        }
    }
    bool number(unsigned* value)
    {
        skip_space_and_comments();
        if (pos >= bytes.size() || !std::isdigit((unsigned char)bytes[pos]))
            return false;
        unsigned v = 0;
        while (pos < bytes.size() && std::isdigit((unsigned char)bytes[pos]))
            v = v * 10 + (unsigned)(bytes[pos++] - '0');
        *value = v;
        return true;
    }
    std::string word()
    {
        skip_space_and_comments();
        size_t start = pos;
        while (pos < bytes.size() && !std::isspace((unsigned char)bytes[pos]))
            ++pos;
        return bytes.substr(start, pos - start);
    }
};

}  // namespace

uint8_t PnmImage::sample8(int x, int y, int c) const
{
    uint32_t v = samples[((size_t)y * width + x) * channels + c];
    return (uint8_t)((v * 255 + maxval / 2) / maxval);
}

void PnmImage::rgba8(int x, int y, uint8_t out[4]) const
{
    if (channels >= 3) {
        for (int c = 0; c < 3; ++c)
            out[c] = sample8(x, y, c);
        out[3] = channels == 4 ? sample8(x, y, 3) : 255;
    } else {
        out[0] = out[1] = out[2] = sample8(x, y, 0);
        out[3] = channels == 2 ? sample8(x, y, 1) : 255;
    }
}

PnmImage read_pnm_file(const std::string& path)
{
    PnmImage img;
    std::string bytes = read_file_bytes(path);
    if (bytes.size() < 3 || bytes[0] != 'P')
        return img;
    char kind = bytes[1];
    Cursor cur(bytes);
    cur.pos = 2;
    unsigned w = 0, h = 0, maxval = 1, channels = 1;
    if (kind == '7') {
        for (;;) {
            std::string key = cur.word();
            if (key == "ENDHDR")
                break;
            if (key.empty())
                return img;
            if (key == "TUPLTYPE") {
                cur.word();
                continue;
            }
            unsigned v = 0;
            if (!cur.number(&v))
                return img;
            if (key == "WIDTH") w = v;
            else if (key == "HEIGHT") h = v;
            else if (key == "DEPTH") channels = v;
            else if (key == "MAXVAL") maxval = v;
        }
    } else {
        if (!cur.number(&w) || !cur.number(&h))
            return img;
        if (kind != '1' && kind != '4' && !cur.number(&maxval))
            return img;
        channels = (kind == '3' || kind == '6') ? 3 : 1;
    }
    if (w == 0 || h == 0 || maxval == 0 || maxval > 65535 || channels < 1 || channels > 4)
        return img;
    size_t count = (size_t)w * h * channels;
    std::vector<uint16_t> samples(count);
    bool bitmap = kind == '1' || kind == '4';
    if (kind >= '1' && kind <= '3') {
        for (size_t i = 0; i < count; ++i) {
            unsigned v = 0;
            if (kind == '1') {
                cur.skip_space_and_comments();
                if (cur.pos >= bytes.size())
                    return img;
                v = bytes[cur.pos++] == '1';
            } else if (!cur.number(&v)) {
                return img;
            }
            samples[i] = (uint16_t)v;
        }
    } else {
        ++cur.pos;  // the single white space after the header
        const unsigned char* p = (const unsigned char*)bytes.data() + cur.pos;
        size_t left = bytes.size() - cur.pos;
        if (kind == '4') {
            size_t row_bytes = (w + 7) / 8;
            if (left < row_bytes * h)
                return img;
            for (unsigned y = 0; y < h; ++y)
                for (unsigned x = 0; x < w; ++x)
                    samples[(size_t)y * w + x] = (p[y * row_bytes + x / 8] >> (7 - x % 8)) & 1;
        } else {
            size_t width_bytes = maxval > 255 ? 2 : 1;
            if (left < count * width_bytes)
                return img;
            for (size_t i = 0; i < count; ++i)
                samples[i] = (uint16_t)(width_bytes == 2 ? (p[2 * i] << 8) | p[2 * i + 1] : p[i]);
        }
    }
    if (bitmap) {
        for (auto& s : samples)
            s = (uint16_t)(s ? 0 : 1);  // 1 is black in a bitmap
    }
    img.width = (int)w;
    img.height = (int)h;
    img.channels = (int)channels;
    img.maxval = maxval;
    img.samples.swap(samples);
    return img;
}

bool write_pam_file(const std::string& path, int width, int height, int channels,
                    const std::vector<uint8_t>& samples)
{
    char head[160];
    snprintf(head, sizeof head, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n",
             width, height, channels, channels == 4 ? "RGB_ALPHA" : "RGB");
    return write_file_bytes(path, std::string(head) + std::string(samples.begin(), samples.end()));
}
