for i = 32760, 32767, 2 do out(i) end
for i = -1, -32768, -1 do end
local s = "x" .. 0x7fff.ffff .. 1/3
