-- Numbers are 16.16 fixed point: wrapping, text forms and coercion.
out(32767 + 1, -32768 - 1, 0x7fff.ffff + 0x0.0001)
local one = 1
out(one / 3, -one / 3, one / 0, -one / 0, 5 % 0)
out(0.1, 0.3, 1.5 * -1.5, 200 * 200, 2 ^ 0.5, 3 ^ 2.5)
out("10" + 5, "0x10" * 2, "1e5" + 0, (one / 3) .. "", 0x7fff.ffff .. "")
out(#"abc", -7 % 2, 7 % -2, -0x0.0001)
local n = 0
for i = -32768, -32760 do n = n + 1 end
for i = -1, -32768, -1 do n = n + 1 end
for i = 32760, 32767, 2 do n = n + 1 end
out(n)
local frac = ""
for i = -1, 1, 0x0.8 do frac = frac .. i .. " " end
out(frac)
out(sub("hello", 2, 4), sub("hello", -3), sub(1234, 2), sub("hello", 2.9))
