-- Recursive calls.
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local r
for _ = 1, 6 do r = fib(22) end
out(r)
