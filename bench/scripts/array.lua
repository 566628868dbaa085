-- Array reads and writes with whole-number keys.
local t = {}
for i = 1, 1000 do t[i] = i % 97 end
local sum = 0
for pass = 1, 400 do
  for i = 2, 1000 do
    t[i] = (t[i] + t[i - 1]) % 1000
  end
  sum = (sum + t[1000]) % 30000
end
out(sum, #t)
