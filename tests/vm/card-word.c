// SPDX-License-Identifier: GPL-3.0-or-later
// card-word RESOURCE0 OFFSET [VALUE]: reads (or writes, then reads back) one 32-bit word of a
// PCI function's BAR0 through its sysfs resource0, independently of the program, so that the
// real-kernel bench can seed a card and check what the program wrote. Prints the word as
// 0x%08X. Offsets and values are C numbers (0x... for hex).
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static int number(const char* text, unsigned long long limit, unsigned long long* out) {
    char* end = NULL;
    errno = 0;
    const unsigned long long value = strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value > limit || text[0] == '-') return 0;
    *out = value;
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: card-word RESOURCE0 OFFSET [VALUE]\n");
        return 2;
    }
    unsigned long long offset = 0, value = 0;
    if (!number(argv[2], UINT64_MAX, &offset) || offset % 4 != 0) {
        fprintf(stderr, "card-word: bad offset %s (a multiple of 4)\n", argv[2]);
        return 2;
    }
    if (argc == 4 && !number(argv[3], UINT32_MAX, &value)) {
        fprintf(stderr, "card-word: bad value %s (32 bits)\n", argv[3]);
        return 2;
    }
    const int fd = open(argv[1], argc == 4 ? O_RDWR : O_RDONLY);
    if (fd < 0) {
        fprintf(stderr, "card-word: %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || offset + 4 > (unsigned long long)st.st_size) {
        fprintf(stderr, "card-word: offset 0x%llx is past the end of %s\n", offset, argv[1]);
        return 1;
    }
    const long page = sysconf(_SC_PAGESIZE);
    const off_t base = (off_t)(offset & ~(unsigned long long)(page - 1));
    const int prot = PROT_READ | (argc == 4 ? PROT_WRITE : 0);
    void* map = mmap(NULL, (size_t)page, prot, MAP_SHARED, fd, base);
    if (map == MAP_FAILED) {
        fprintf(stderr, "card-word: mmap of %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    volatile uint32_t* word = (volatile uint32_t*)((char*)map + (offset - (unsigned long long)base));
    if (argc == 4) *word = (uint32_t)value;
    printf("0x%08" PRIX32 "\n", *word);
    munmap(map, (size_t)page);
    close(fd);
    return 0;
}
