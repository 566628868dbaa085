a += b c()
a /= f(x)(y) z = 1
x=1;if (a) b()
elseif (x) y()
if (f(a)) b += 1
?a, b