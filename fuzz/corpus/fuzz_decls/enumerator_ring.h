enum { A = A };
int x[A];
enum { B = C };
enum { C = B + 1 };
int w[B];
