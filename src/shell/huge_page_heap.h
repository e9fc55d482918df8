#pragma once

// Asks that the heap the process grows from now on be backed by huge pages,
// in steps of hundreds of megabytes, and that large blocks come from it.
// Reading a large suite writes tens of megabytes of tables, and every 4 KB
// page of them otherwise costs a page fault as it is first written: on a
// virtual machine that is a large share of the reading. Call it first, once;
// it only gives hints, which a kernel without transparent huge pages
// ignores, and it changes nothing in what the process computes.
void useHugePageHeap();
