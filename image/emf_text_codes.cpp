// The code pages of converted text (see emf_text_codes.h).
#include "image/emf_text_codes.h"

#include "image/wmf_seal.h"

#include <stddef.h>

// The code page of a character set; false for none.
static bool charset_code_page(BYTE set, UINT* cp)
{
    CHARSETINFO info;
    if (set == DEFAULT_CHARSET) {
        *cp = CP_ACP;
        return true;
    }
    if (!TranslateCharsetInfo((DWORD*)(ULONG_PTR)set, &info, TCI_SRCCHARSET))
        return false;
    *cp = info.ciACP;
    return true;
}

// The text in the code page, and the characters each byte belongs to
// (bytes: room for count * 2); the byte count, 0 when a character has no
// code in it.
static int encode_text(const WCHAR* text, int count, UINT cp, char* bytes, int* owner)
{
    int n = 0;
    for (int i = 0; i < count; ++i) {
        BOOL used_default = FALSE;
        int got = cp == CP_SYMBOL ? 0 : WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, text + i, 1, bytes + n, 2, NULL, &used_default);
        if (cp == CP_SYMBOL) {
            // A symbol font's codes, or the private-use characters that stand for them.
            WCHAR c = text[i];
            if (c >= 0xF000 && c <= 0xF0FF)
                c &= 0xFF;
            if (c > 0xFF)
                return 0;
            bytes[n] = (char)c;
            got = 1;
        }
        if (got <= 0 || used_default)
            return 0;
        WCHAR back[2];
        if (cp != CP_SYMBOL && (MultiByteToWideChar(cp, 0, bytes + n, got, back, 2) != 1 || back[0] != text[i]))
            return 0;
        for (int k = 0; k < got; ++k)
            owner[n + k] = i;
        n += got;
    }
    return n;
}

bool encode_in_charset(const WCHAR* text, int count, BYTE own, BYTE* chosen, char* bytes, int* owner,
                              int* byte_count)
{
    static const BYTE SETS[] = {ANSI_CHARSET,      EASTEUROPE_CHARSET, RUSSIAN_CHARSET,  GREEK_CHARSET,
                                TURKISH_CHARSET,   BALTIC_CHARSET,     HEBREW_CHARSET,   ARABIC_CHARSET,
                                VIETNAMESE_CHARSET, THAI_CHARSET,      SHIFTJIS_CHARSET, GB2312_CHARSET,
                                HANGUL_CHARSET,    CHINESEBIG5_CHARSET};
    *byte_count = 0;
    *chosen = own;
    if (count == 0)
        return true;
    if (own == SYMBOL_CHARSET)
        return (*byte_count = encode_text(text, count, CP_SYMBOL, bytes, owner)) > 0;
    for (int i = -1; i < (int)sizeof SETS; ++i) {
        const BYTE set = i < 0 ? own : SETS[i];
        UINT cp;
        if (!charset_code_page(set, &cp))
            continue;
        *byte_count = encode_text(text, count, cp, bytes, owner);
        if (*byte_count > 0) {
            *chosen = set;
            return true;
        }
    }
    return false;
}

// Question marks in one text of a record (offsets from the record's start).
static uint64_t marks_in_text(const ENHMETARECORD* r, const EMRTEXT* t, bool wide)
{
    const uint64_t bytes = (uint64_t)t->nChars * (wide ? 2 : 1);
    if (t->offString > r->nSize || bytes > r->nSize - t->offString)
        return 0;
    const BYTE* text = (const BYTE*)r + t->offString;
    uint64_t marks = 0;
    for (uint64_t i = 0; i < bytes; i += wide ? 2 : 1)
        marks += text[i] == '?' && (!wide || text[i + 1] == 0);
    return marks;
}

static int CALLBACK count_emf_marks(HDC, HANDLETABLE*, const ENHMETARECORD* r, int, LPARAM data)
{
    uint64_t* marks = (uint64_t*)data;
    const bool wide = r->iType == EMR_EXTTEXTOUTW || r->iType == EMR_POLYTEXTOUTW;
    if ((r->iType == EMR_EXTTEXTOUTW || r->iType == EMR_EXTTEXTOUTA) && r->nSize >= sizeof(EMREXTTEXTOUTW)) {
        *marks += marks_in_text(r, &((const EMREXTTEXTOUTW*)r)->emrtext, wide);
    } else if ((r->iType == EMR_POLYTEXTOUTW || r->iType == EMR_POLYTEXTOUTA) &&
               r->nSize >= offsetof(EMRPOLYTEXTOUTW, aemrtext)) {
        const EMRPOLYTEXTOUTW* e = (const EMRPOLYTEXTOUTW*)r;
        const uint64_t room = (r->nSize - offsetof(EMRPOLYTEXTOUTW, aemrtext)) / sizeof(EMRTEXT);
        for (uint64_t i = 0; e->cStrings > 0 && i < (uint64_t)e->cStrings && i < room; ++i)
            *marks += marks_in_text(r, &e->aemrtext[i], wide);
    }
    return 1;
}

bool wmf_text_keeps_characters(HENHMETAFILE emf, const BYTE* wmf, uint32_t size)
{
    uint64_t source = 0, written = 0;
    EnumEnhMetaFile(NULL, emf, count_emf_marks, &source, NULL);
    if (size < WMF_HEADER_SIZE)
        return true;
    walk_wmf_records(wmf, size, [&](uint32_t offset, uint32_t words, uint16_t function) {
        const BYTE* params = wmf + offset + META_RECORD_HEAD_BYTES;
        const uint32_t param_bytes = words * 2 - META_RECORD_HEAD_BYTES;
        uint32_t at = 0, count = 0;
        if (function == META_TEXTOUT && param_bytes >= 2) {
            count = params[0] | (params[1] << 8);
            at = 2;
        } else if (function == META_EXTTEXTOUT && param_bytes >= 8) {
            count = params[4] | (params[5] << 8);
            const uint16_t options = (uint16_t)(params[6] | (params[7] << 8));
            at = options & (ETO_OPAQUE | ETO_CLIPPED) ? 16 : 8;
        }
        for (uint32_t i = 0; count && i < count && at + i < param_bytes; ++i)
            written += params[at + i] == '?';
        return true;
    });
    return written <= source;
}
