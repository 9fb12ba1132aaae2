// The two-pass median-cut quantiser (see quantizer.h), at full 8-bit
// precision on every axis: the histogram has one 16-bit counter per 24-bit
// colour, allocated as 256 blocks of 128 KiB (one per red value) so that no
// single 32 MiB block is needed in a 32-bit address space. In the mapping
// pass the same memory caches the nearest palette entry (+1) of each colour,
// filled lazily 32 x 32 x 32 colours at a time.
//
// Colour distances weight the axes red 2, green 3, blue 1.
#include "tools/quantizer.h"

#include <string.h>

enum {
    HIST_SIDE = 256,
    HIST_PLANE = 256 * 256,     // counters per red value
    CELL_SHIFT = 5,             // nearest-colour cells of 32 x 32 x 32
    CELL_SIDE = 1 << CELL_SHIFT,
    CELL_COLORS = CELL_SIDE * CELL_SIDE * CELL_SIDE,
    R_SCALE = 2,
    G_SCALE = 3,
    B_SCALE = 1,
    MAX_COLORS = 256,
};

typedef UINT16 HistCell;

struct QuantizerState {
    HGLOBAL hSelf;
    int (*start_pass)(QuantizerContext* ctx, int is_pre_scan);
    QuantizeRowsFn color_quantize;
    int (*finish_pass)(QuantizerContext* ctx);
    void (*new_color_map)(QuantizerContext* ctx);
    BYTE* sv_colormap[3];
    HGLOBAL hColormap[3];
    int desired;
    HistCell* histogram[HIST_SIDE];
    HGLOBAL hHistogram[HIST_SIDE];
    BYTE needs_zeroed;
    INT16* fserrors;            // (width + 2) x 3, sixteenths
    HGLOBAL hFserrors;
    BYTE on_odd_row;
    int* error_limiter;         // points at index 0 of 511 entries
    HGLOBAL hErrorLimit;
    HGLOBAL hBoxes;
    // Scratch of one nearest-colour fill.
    int best_dist[CELL_COLORS];
    BYTE best_color[CELL_COLORS];
    BYTE candidates[MAX_COLORS];
};

struct Box {
    int c0min, c0max;           // red
    int c1min, c1max;           // green
    int c2min, c2max;           // blue
    int volume;
    int colorcount;
};

void zero_block(void* target, size_t bytes)
{
    memset(target, 0, bytes);
}

static QuantizerState* state_of(QuantizerContext* ctx)
{
    return (QuantizerState*)ctx->cquantize;
}

static void* alloc_locked(SIZE_T bytes, HGLOBAL* handle)
{
    *handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!*handle)
        return NULL;
    void* p = GlobalLock(*handle);
    if (!p) {
        GlobalFree(*handle);
        *handle = NULL;
    }
    return p;
}

static void free_locked(HGLOBAL* handle)
{
    if (*handle) {
        GlobalUnlock(*handle);
        GlobalFree(*handle);
        *handle = NULL;
    }
}

static int report(QuantizerContext* ctx, int code, int parameter)
{
    if (ctx->err)
        ctx->err(ctx, code, parameter);
    return 0;
}

int prepare_range_limit_table(QuantizerContext* ctx)
{
    BYTE* table = (BYTE*)alloc_locked(5 * 256 + 128, &ctx->hRangeLimit);
    if (!table)
        return 0;
    // -256..-1 -> 0, 0..255 identity, 256..639 -> 255, then 384 zeros and
    // 0..127 again (the wrap-around part the mapping pass never reaches).
    table += 256;
    ctx->sample_range_limit = table;
    for (int i = 0; i < 256; ++i)
        table[i] = (BYTE)i;
    memset(table + 256, 255, 384);
    for (int i = 0; i < 128; ++i)
        table[1024 + i] = (BYTE)i;
    return 1;
}

// Errors pass unchanged up to 15, rise by one every second step from 16 to
// 47, and are capped at 32 beyond: no error larger than 32 is propagated.
static int init_error_limit(QuantizerState* q)
{
    int* table = (int*)alloc_locked(511 * sizeof(int), &q->hErrorLimit);
    if (!table)
        return 0;
    table += 255;
    q->error_limiter = table;
    int in = 0, out = 0;
    for (; in < 16; ++in, ++out) {
        table[in] = out;
        table[-in] = -out;
    }
    for (; in < 48; ++in, out += (in & 1) ? 0 : 1) {
        table[in] = out;
        table[-in] = -out;
    }
    for (; in <= 255; ++in) {
        table[in] = out;
        table[-in] = -out;
    }
    return 1;
}

void prescan_quantize(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows, int row_count)
{
    QuantizerState* q = state_of(ctx);
    UINT width = ctx->output_width;
    for (int row = 0; row < row_count; ++row) {
        const BYTE* p = input_rows[row];
        for (UINT x = 0; x < width; ++x, p += 3) {
            HistCell* cell = &q->histogram[p[0]][(p[1] << 8) | p[2]];
            if (++*cell == 0)
                --*cell;
        }
    }
}

static int plane_has_color(QuantizerState* q, int r, int g0, int g1, int b0, int b1)
{
    const HistCell* plane = q->histogram[r];
    for (int g = g0; g <= g1; ++g) {
        const HistCell* p = plane + (g << 8);
        for (int b = b0; b <= b1; ++b)
            if (p[b])
                return 1;
    }
    return 0;
}

static int green_slice_has_color(QuantizerState* q, int g, const Box* box)
{
    for (int r = box->c0min; r <= box->c0max; ++r) {
        const HistCell* p = q->histogram[r] + (g << 8);
        for (int b = box->c2min; b <= box->c2max; ++b)
            if (p[b])
                return 1;
    }
    return 0;
}

static int blue_slice_has_color(QuantizerState* q, int b, const Box* box)
{
    for (int r = box->c0min; r <= box->c0max; ++r) {
        const HistCell* plane = q->histogram[r];
        for (int g = box->c1min; g <= box->c1max; ++g)
            if (plane[(g << 8) | b])
                return 1;
    }
    return 0;
}

// Shrinks the box to the slices that hold colours, then sets its weighted
// volume and the number of distinct colours inside.
static void update_box(QuantizerState* q, Box* box)
{
    if (box->c0max > box->c0min) {
        while (box->c0min < box->c0max
               && !plane_has_color(q, box->c0min, box->c1min, box->c1max, box->c2min, box->c2max))
            ++box->c0min;
        while (box->c0max > box->c0min
               && !plane_has_color(q, box->c0max, box->c1min, box->c1max, box->c2min, box->c2max))
            --box->c0max;
    }
    if (box->c1max > box->c1min) {
        while (box->c1min < box->c1max && !green_slice_has_color(q, box->c1min, box))
            ++box->c1min;
        while (box->c1max > box->c1min && !green_slice_has_color(q, box->c1max, box))
            --box->c1max;
    }
    if (box->c2max > box->c2min) {
        while (box->c2min < box->c2max && !blue_slice_has_color(q, box->c2min, box))
            ++box->c2min;
        while (box->c2max > box->c2min && !blue_slice_has_color(q, box->c2max, box))
            --box->c2max;
    }
    int d0 = (box->c0max - box->c0min) * R_SCALE;
    int d1 = (box->c1max - box->c1min) * G_SCALE;
    int d2 = (box->c2max - box->c2min) * B_SCALE;
    box->volume = d0 * d0 + d1 * d1 + d2 * d2;
    int count = 0;
    for (int r = box->c0min; r <= box->c0max; ++r) {
        const HistCell* plane = q->histogram[r];
        for (int g = box->c1min; g <= box->c1max; ++g) {
            const HistCell* p = plane + (g << 8);
            for (int b = box->c2min; b <= box->c2max; ++b)
                count += p[b] != 0;
        }
    }
    box->colorcount = count;
}

static Box* find_biggest_color_pop(Box* boxes, int count)
{
    Box* which = NULL;
    int most = 0;
    for (int i = 0; i < count; ++i)
        if (boxes[i].colorcount > most && boxes[i].volume > 0) {
            which = &boxes[i];
            most = boxes[i].colorcount;
        }
    return which;
}

static Box* find_biggest_volume(Box* boxes, int count)
{
    Box* which = NULL;
    int most = 0;
    for (int i = 0; i < count; ++i)
        if (boxes[i].volume > most) {
            which = &boxes[i];
            most = boxes[i].volume;
        }
    return which;
}

static int median_cut(QuantizerState* q, Box* boxes, int count, int desired)
{
    while (count < desired) {
        Box* b1 = count * 2 <= desired ? find_biggest_color_pop(boxes, count)
                                       : find_biggest_volume(boxes, count);
        if (!b1)
            break;  // every box is a single colour
        Box* b2 = &boxes[count];
        *b2 = *b1;
        int e0 = (b1->c0max - b1->c0min) * R_SCALE;
        int e1 = (b1->c1max - b1->c1min) * G_SCALE;
        int e2 = (b1->c2max - b1->c2min) * B_SCALE;
        // Ties favour green, then red, blue last.
        int axis = 1, largest = e1;
        if (e0 > largest) {
            axis = 0;
            largest = e0;
        }
        if (e2 > largest)
            axis = 2;
        int lb;
        switch (axis) {
        case 0:
            lb = (b1->c0max + b1->c0min) / 2;
            b1->c0max = lb;
            b2->c0min = lb + 1;
            break;
        case 1:
            lb = (b1->c1max + b1->c1min) / 2;
            b1->c1max = lb;
            b2->c1min = lb + 1;
            break;
        default:
            lb = (b1->c2max + b1->c2min) / 2;
            b1->c2max = lb;
            b2->c2min = lb + 1;
            break;
        }
        update_box(q, b1);
        update_box(q, b2);
        ++count;
    }
    return count;
}

// The count-weighted mean colour of the box, rounded to nearest.
static void compute_color(QuantizerContext* ctx, const Box* box, int index)
{
    QuantizerState* q = state_of(ctx);
    unsigned long long total = 0, r_total = 0, g_total = 0, b_total = 0;
    for (int r = box->c0min; r <= box->c0max; ++r) {
        const HistCell* plane = q->histogram[r];
        for (int g = box->c1min; g <= box->c1max; ++g) {
            const HistCell* p = plane + (g << 8);
            unsigned long long row_total = 0, row_b = 0;
            for (int b = box->c2min; b <= box->c2max; ++b) {
                unsigned count = p[b];
                row_total += count;
                row_b += (unsigned long long)count * (unsigned)b;
            }
            total += row_total;
            r_total += row_total * (unsigned)r;
            g_total += row_total * (unsigned)g;
            b_total += row_b;
        }
    }
    if (total == 0)
        total = 1;  // cannot happen for boxes the median cut made
    ctx->colormap[0][index] = (BYTE)((r_total + total / 2) / total);
    ctx->colormap[1][index] = (BYTE)((g_total + total / 2) / total);
    ctx->colormap[2][index] = (BYTE)((b_total + total / 2) / total);
}

static int select_colors(QuantizerContext* ctx, int desired)
{
    QuantizerState* q = state_of(ctx);
    free_locked(&q->hBoxes);
    Box* boxes = (Box*)alloc_locked((SIZE_T)desired * sizeof(Box), &q->hBoxes);
    if (!boxes)
        return 0;
    boxes[0].c0min = boxes[0].c1min = boxes[0].c2min = 0;
    boxes[0].c0max = boxes[0].c1max = boxes[0].c2max = 255;
    update_box(q, &boxes[0]);
    int count = median_cut(q, boxes, 1, desired);
    for (int i = 0; i < count; ++i)
        compute_color(ctx, &boxes[i], i);
    ctx->actual_number_of_colors = count;
    return 1;
}

int finish_pass1(QuantizerContext* ctx)
{
    QuantizerState* q = state_of(ctx);
    for (int c = 0; c < 3; ++c)
        ctx->colormap[c] = q->sv_colormap[c];
    int ok = select_colors(ctx, q->desired);
    q->needs_zeroed = 1;
    return ok;
}

// The palette entries that can be nearest to some colour of the cell at
// (r0, g0, b0): those whose least distance to the cell is no more than the
// smallest greatest distance of any entry. Returns their number.
static int find_nearby_colors(QuantizerContext* ctx, int r0, int g0, int b0, BYTE* list)
{
    int n = ctx->actual_number_of_colors;
    int corner[3] = {r0, g0, b0};
    static const int scale[3] = {R_SCALE, G_SCALE, B_SCALE};
    int min_dist[MAX_COLORS];
    int min_max = 0x7FFFFFFF;
    for (int i = 0; i < n; ++i) {
        int lo = 0, hi = 0;
        for (int c = 0; c < 3; ++c) {
            int x = ctx->colormap[c][i];
            int cmin = corner[c], cmax = corner[c] + CELL_SIDE - 1;
            int centre = (cmin + cmax) / 2;
            int t;
            if (x < cmin) {
                t = (x - cmin) * scale[c];
                lo += t * t;
                t = (x - cmax) * scale[c];
                hi += t * t;
            } else if (x > cmax) {
                t = (x - cmax) * scale[c];
                lo += t * t;
                t = (x - cmin) * scale[c];
                hi += t * t;
            } else {
                t = x <= centre ? (x - cmax) * scale[c] : (x - cmin) * scale[c];
                hi += t * t;
            }
        }
        min_dist[i] = lo;
        if (hi < min_max)
            min_max = hi;
    }
    int count = 0;
    for (int i = 0; i < n; ++i)
        if (min_dist[i] <= min_max)
            list[count++] = (BYTE)i;
    return count;
}

// Nearest candidate for every colour of the cell by incremental distances;
// a later candidate wins only when strictly nearer.
static void find_best_colors(QuantizerContext* ctx, int r0, int g0, int b0, const BYTE* list,
                             int count)
{
    QuantizerState* q = state_of(ctx);
    int* best = q->best_dist;
    BYTE* best_color = q->best_color;
    for (int i = 0; i < CELL_COLORS; ++i)
        best[i] = 0x7FFFFFFF;
    for (int k = 0; k < count; ++k) {
        int icolor = list[k];
        int d0 = (r0 - ctx->colormap[0][icolor]) * R_SCALE;
        int d1 = (g0 - ctx->colormap[1][icolor]) * G_SCALE;
        int d2 = (b0 - ctx->colormap[2][icolor]) * B_SCALE;
        int dist0 = d0 * d0 + d1 * d1 + d2 * d2;
        int xx0 = 4 * d0 + 4;
        int* bp = best;
        BYTE* cp = best_color;
        for (int ir = 0; ir < CELL_SIDE; ++ir) {
            int dist1 = dist0;
            int xx1 = 6 * d1 + 9;
            for (int ig = 0; ig < CELL_SIDE; ++ig) {
                int dist2 = dist1;
                int xx2 = 2 * d2 + 1;
                for (int ib = 0; ib < CELL_SIDE; ++ib) {
                    if (dist2 < bp[ib]) {
                        bp[ib] = dist2;
                        cp[ib] = (BYTE)icolor;
                    }
                    dist2 += xx2;
                    xx2 += 2;
                }
                bp += CELL_SIDE;
                cp += CELL_SIDE;
                dist1 += xx1;
                xx1 += 18;
            }
            dist0 += xx0;
            xx0 += 8;
        }
    }
}

static void fill_inverse_cmap(QuantizerContext* ctx, int r, int g, int b)
{
    QuantizerState* q = state_of(ctx);
    int r0 = r & ~(CELL_SIDE - 1), g0 = g & ~(CELL_SIDE - 1), b0 = b & ~(CELL_SIDE - 1);
    int count = find_nearby_colors(ctx, r0, g0, b0, q->candidates);
    find_best_colors(ctx, r0, g0, b0, q->candidates, count);
    const BYTE* cp = q->best_color;
    for (int ir = 0; ir < CELL_SIDE; ++ir) {
        HistCell* plane = q->histogram[r0 + ir];
        for (int ig = 0; ig < CELL_SIDE; ++ig) {
            HistCell* p = plane + ((g0 + ig) << 8) + b0;
            for (int ib = 0; ib < CELL_SIDE; ++ib)
                p[ib] = (HistCell)(*cp++ + 1);
        }
    }
}

static inline int nearest_index(QuantizerContext* ctx, int r, int g, int b)
{
    HistCell* cell = &state_of(ctx)->histogram[r][(g << 8) | b];
    if (*cell == 0)
        fill_inverse_cmap(ctx, r, g, b);
    return *cell - 1;
}

void pass2_no_dither(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows, int row_count)
{
    UINT width = ctx->output_width;
    for (int row = 0; row < row_count; ++row) {
        const BYTE* in = input_rows[row];
        BYTE* out = output_rows[row];
        for (UINT x = 0; x < width; ++x, in += 3)
            out[x] = (BYTE)nearest_index(ctx, in[0], in[1], in[2]);
    }
}

void pass2_fs_dither(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows, int row_count)
{
    QuantizerState* q = state_of(ctx);
    UINT width = ctx->output_width;
    const int* limit = q->error_limiter;
    const BYTE* range = ctx->sample_range_limit;
    const BYTE* map0 = ctx->colormap[0];
    const BYTE* map1 = ctx->colormap[1];
    const BYTE* map2 = ctx->colormap[2];
    for (int row = 0; row < row_count; ++row) {
        const BYTE* in = input_rows[row];
        BYTE* out = output_rows[row];
        INT16* err;
        int dir, dir3;
        if (q->on_odd_row) {
            in += (width - 1) * 3;
            out += width - 1;
            dir = -1;
            dir3 = -3;
            err = q->fserrors + (width + 1) * 3;
            q->on_odd_row = 0;
        } else {
            dir = 1;
            dir3 = 3;
            err = q->fserrors;
            q->on_odd_row = 1;
        }
        int cur0 = 0, cur1 = 0, cur2 = 0;
        int below0 = 0, below1 = 0, below2 = 0;
        int prev0 = 0, prev1 = 0, prev2 = 0;
        for (UINT col = 0; col < width; ++col) {
            // Arithmetic shift of the sum in sixteenths, rounded.
            cur0 = (cur0 + err[dir3 + 0] + 8) >> 4;
            cur1 = (cur1 + err[dir3 + 1] + 8) >> 4;
            cur2 = (cur2 + err[dir3 + 2] + 8) >> 4;
            cur0 = range[limit[cur0] + in[0]];
            cur1 = range[limit[cur1] + in[1]];
            cur2 = range[limit[cur2] + in[2]];
            int index = nearest_index(ctx, cur0, cur1, cur2);
            *out = (BYTE)index;
            cur0 -= map0[index];
            cur1 -= map1[index];
            cur2 -= map2[index];
            err[0] = (INT16)(prev0 + cur0 * 3);
            err[1] = (INT16)(prev1 + cur1 * 3);
            err[2] = (INT16)(prev2 + cur2 * 3);
            prev0 = below0 + cur0 * 5;
            prev1 = below1 + cur1 * 5;
            prev2 = below2 + cur2 * 5;
            below0 = cur0;
            below1 = cur1;
            below2 = cur2;
            cur0 *= 7;
            cur1 *= 7;
            cur2 *= 7;
            in += dir3;
            out += dir;
            err += dir3;
        }
        err[0] = (INT16)prev0;
        err[1] = (INT16)prev1;
        err[2] = (INT16)prev2;
    }
}

void finish_pass2(QuantizerContext* ctx)
{
}

static int finish_pass2_op(QuantizerContext* ctx)
{
    finish_pass2(ctx);
    return 1;
}

void new_color_map_2_quant(QuantizerContext* ctx)
{
    state_of(ctx)->needs_zeroed = 1;
}

static int alloc_fserrors(QuantizerContext* ctx)
{
    QuantizerState* q = state_of(ctx);
    if (q->fserrors)
        return 1;
    q->fserrors = (INT16*)alloc_locked(((SIZE_T)ctx->output_width + 2) * 3 * sizeof(INT16), &q->hFserrors);
    return q->fserrors != NULL;
}

int start_pass_2_quant(QuantizerContext* ctx, int is_pre_scan)
{
    QuantizerState* q = state_of(ctx);
    if (is_pre_scan) {
        q->color_quantize = prescan_quantize;
        q->finish_pass = finish_pass1;
        q->needs_zeroed = 1;
    } else {
        q->color_quantize = ctx->dither_mode == 2 ? pass2_fs_dither : pass2_no_dither;
        q->finish_pass = finish_pass2_op;
        if (ctx->actual_number_of_colors < 1)
            return report(ctx, QUANT_ERR_FEW_COLORS, 1);
        if (ctx->actual_number_of_colors > MAX_COLORS)
            return report(ctx, QUANT_ERR_MANY_COLORS, MAX_COLORS);
        if (ctx->dither_mode == 2) {
            if (!alloc_fserrors(ctx))
                return 0;
            zero_block(q->fserrors, ((size_t)ctx->output_width + 2) * 3 * sizeof(INT16));
            if (!q->error_limiter && !init_error_limit(q))
                return 0;
            q->on_odd_row = 0;
        }
    }
    if (q->needs_zeroed) {
        for (int r = 0; r < HIST_SIDE; ++r)
            zero_block(q->histogram[r], HIST_PLANE * sizeof(HistCell));
        q->needs_zeroed = 0;
    }
    return 1;
}

int jinit_2pass_quantizer(QuantizerContext* ctx)
{
    HGLOBAL hState;
    QuantizerState* q = (QuantizerState*)alloc_locked(sizeof(QuantizerState), &hState);
    if (!q)
        return 0;
    q->hSelf = hState;
    ctx->cquantize = q;
    q->start_pass = start_pass_2_quant;
    q->new_color_map = new_color_map_2_quant;
    q->error_limiter = NULL;
    if (ctx->out_color_components != 3)
        return report(ctx, QUANT_ERR_COMPONENTS, 0);
    if (ctx->desired_number_of_colors < 2)
        return report(ctx, QUANT_ERR_FEW_COLORS, 2);
    if (ctx->desired_number_of_colors > MAX_COLORS)
        return report(ctx, QUANT_ERR_MANY_COLORS, MAX_COLORS);
    q->desired = ctx->desired_number_of_colors;
    for (int r = 0; r < HIST_SIDE; ++r) {
        q->histogram[r] = (HistCell*)alloc_locked(HIST_PLANE * sizeof(HistCell), &q->hHistogram[r]);
        if (!q->histogram[r])
            return 0;
    }
    if (ctx->enable_2pass_quant) {
        for (int c = 0; c < 3; ++c) {
            q->sv_colormap[c] = (BYTE*)alloc_locked((SIZE_T)q->desired, &q->hColormap[c]);
            if (!q->sv_colormap[c])
                return 0;
            ctx->colormap[c] = q->sv_colormap[c];
        }
    }
    if (ctx->dither_mode != 0) {
        ctx->dither_mode = 2;
        if (!alloc_fserrors(ctx) || !init_error_limit(q))
            return 0;
    }
    q->needs_zeroed = 1;
    return 1;
}

void release_quantizer(QuantizerContext* ctx)
{
    QuantizerState* q = state_of(ctx);
    if (q) {
        for (int r = 0; r < HIST_SIDE; ++r)
            free_locked(&q->hHistogram[r]);
        for (int c = 0; c < 3; ++c)
            free_locked(&q->hColormap[c]);
        free_locked(&q->hFserrors);
        free_locked(&q->hErrorLimit);
        free_locked(&q->hBoxes);
        HGLOBAL hSelf = q->hSelf;
        free_locked(&hSelf);
        ctx->cquantize = NULL;
    }
    free_locked(&ctx->hRangeLimit);
    ctx->sample_range_limit = NULL;
    for (int c = 0; c < 3; ++c)
        ctx->colormap[c] = NULL;
}
