/* insn_count: a QEMU (7.2 or later) TCG plug-in that counts the guest instructions a program executes between
 * calls of its function `zephrel_count_mark`, in all code and inside one address range.
 *
 * Every translated block gets a counter that the block's own code bumps as it runs (no callback per block), and its
 * last instruction one of its own: QEMU 7.2 ends a block before an instruction that crosses into the next page (it
 * then runs as a block of its own) yet still lists it as the block's last, so a block's count is its runs times the
 * instructions before the last, plus the runs of the last. Counted by the list alone, a hot loop with such an
 * instruction would count one too many each time round, as the layout of the code happens to fall.
 * Only a block that starts at the mark function gets a callback: it closes the phase since the previous
 * mark and writes one line
 *     phase <n> total <instructions> inside <instructions in [lo, hi)>
 * The range is read at each mark from the file given as range=FILE ("<lo> <hi>" in hexadecimal), which the
 * program writes once it knows where the code to be measured lies; without it "inside" is 0.
 *
 * Arguments: out=FILE (required), range=FILE. */
#include <inttypes.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The part of QEMU's plug-in interface used here (include/qemu/qemu-plugin.h, API version 1): Debian's qemu packages
 * do not ship that header. */
typedef uint64_t qemu_plugin_id_t;
typedef struct {
    const char *target_name;
    struct { int min, cur; } version;
    bool system_emulation;
    union { struct { int smp_vcpus, max_vcpus; } system; };
} qemu_info_t;
struct qemu_plugin_tb;
struct qemu_plugin_insn;
enum { QEMU_PLUGIN_CB_NO_REGS = 0 };
enum { QEMU_PLUGIN_INLINE_ADD_U64 = 0 };
void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t, void (*)(qemu_plugin_id_t, struct qemu_plugin_tb *));
void qemu_plugin_register_vcpu_tb_exec_cb(struct qemu_plugin_tb *, void (*)(unsigned int, void *), int, void *);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb *, int, void *, uint64_t);
void qemu_plugin_register_vcpu_insn_exec_inline(struct qemu_plugin_insn *, int, void *, uint64_t);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t, void (*)(qemu_plugin_id_t, void *), void *);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb *);
uint64_t qemu_plugin_tb_vaddr(const struct qemu_plugin_tb *);
struct qemu_plugin_insn *qemu_plugin_tb_get_insn(const struct qemu_plugin_tb *, size_t);
const char *qemu_plugin_insn_symbol(const struct qemu_plugin_insn *);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

typedef struct {
    uint64_t runs;      /* bumped by the translated code */
    uint64_t last_runs; /* of the last instruction, likewise */
    uint64_t seen;      /* both at the last mark */
    uint64_t last_seen;
    uint64_t start;
    uint64_t insns; /* before the last */
} Block;

/* Blocks live in chunks that never move, since translated code holds their addresses. One thread only:
 * the programs measured here run single-threaded. */
enum { kChunk = 1 << 16, kChunks = 1 << 10 };
static Block *chunks[kChunks];
static size_t blocks;
static FILE *out;
static const char *range_path;
static int phase;

static Block *block(size_t i) { return &chunks[i / kChunk][i % kChunk]; }

static void close_phase(void) {
    uint64_t lo = 0, hi = 0, total = 0, inside = 0;
    FILE *range = range_path ? fopen(range_path, "r") : NULL;
    if (range) {
        if (fscanf(range, "%" SCNx64 " %" SCNx64, &lo, &hi) != 2) lo = hi = 0;
        fclose(range);
    }
    for (size_t i = 0; i < blocks; ++i) {
        Block *b = block(i);
        uint64_t n = (b->runs - b->seen) * b->insns + (b->last_runs - b->last_seen);
        b->seen = b->runs;
        b->last_seen = b->last_runs;
        total += n;
        if (b->start >= lo && b->start < hi) inside += n;
    }
    fprintf(out, "phase %d total %" PRIu64 " inside %" PRIu64 "\n", phase++, total, inside);
    fflush(out);
}

static void on_mark(unsigned int vcpu, void *unused) {
    (void)vcpu;
    (void)unused;
    close_phase();
}

static void on_translate(qemu_plugin_id_t id, struct qemu_plugin_tb *tb) {
    (void)id;
    if (blocks / kChunk >= kChunks) {
        fprintf(stderr, "insn_count: too many translated blocks\n");
        abort();
    }
    if (!chunks[blocks / kChunk]) chunks[blocks / kChunk] = calloc(kChunk, sizeof(Block));
    Block *b = block(blocks++);
    b->start = qemu_plugin_tb_vaddr(tb);
    const size_t n = qemu_plugin_tb_n_insns(tb);
    b->insns = n - 1;
    const char *symbol = qemu_plugin_insn_symbol(qemu_plugin_tb_get_insn(tb, 0));
    if (symbol && strcmp(symbol, "zephrel_count_mark") == 0) {
        qemu_plugin_register_vcpu_tb_exec_cb(tb, on_mark, QEMU_PLUGIN_CB_NO_REGS, NULL);
    }
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &b->runs, 1);
    qemu_plugin_register_vcpu_insn_exec_inline(qemu_plugin_tb_get_insn(tb, n - 1), QEMU_PLUGIN_INLINE_ADD_U64,
                                               &b->last_runs, 1);
}

static void at_exit(qemu_plugin_id_t id, void *unused) {
    (void)id;
    (void)unused;
    close_phase();
    fclose(out);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t *info,
                                                                int argc, char **argv) {
    (void)info;
    const char *path = NULL;
    for (int i = 0; i < argc; ++i) {
        if (strncmp(argv[i], "out=", 4) == 0) {
            path = argv[i] + 4;
        } else if (strncmp(argv[i], "range=", 6) == 0) {
            range_path = argv[i] + 6;
        } else {
            fprintf(stderr, "insn_count: unknown argument '%s'\n", argv[i]);
            return 1;
        }
    }
    out = path ? fopen(path, "w") : NULL;
    if (!out) {
        fprintf(stderr, "insn_count: give a writable out=FILE\n");
        return 1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
    qemu_plugin_register_atexit_cb(id, at_exit, NULL);
    return 0;
}
