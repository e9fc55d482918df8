/* The absolute value, in a file of its own. */
long absolute(long n) {
  if (n < 0) n = -n;
  return n;
}
