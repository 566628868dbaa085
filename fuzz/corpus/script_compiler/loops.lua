local t = {}
for i = 1, 20 do t[i] = i * i end
local s = 0
for k, v in pairs(t) do s = s + v end
while s > 10 do s = s / 2 end
repeat s = s + 1 until s > 5
out(s, #t, -32768 - 1, 1 / 0)
