local a, b, c = ...
local t = {...}
local function deep(n, ...) if n == 0 then return select and 0 or #{...} end return deep(n - 1, n, ...) end
out(a, b, c, #t, deep(60))
yield(1, 2, 3)
out(coresume(cocreate(function(...) return ... end), ...))
