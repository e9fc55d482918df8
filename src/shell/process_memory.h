#pragma once

// Whether the process's address space or data is limited (ulimit -v or -d):
// then memory taken ahead of need, which costs nothing otherwise, could make
// an allocation fail that would fit.
bool addressSpaceLimited();

// Grows the heap by 256 MB of address space at once and asks that it be
// backed by huge pages, and has large blocks taken from it.
// Reading a large suite writes tens of megabytes of tables, and every 4 KB
// page of them otherwise costs a page fault as it is first written: on a
// virtual machine that is a large share of the reading. Call it first, once;
// it only gives hints, which a kernel without transparent huge pages
// ignores, and it changes nothing in what the process computes. Does
// nothing when addressSpaceLimited().
void useHugePageHeap();
