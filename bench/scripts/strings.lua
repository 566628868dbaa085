-- String building by concatenation.
local total = 0
for pass = 1, 300 do
  local s = ""
  for i = 1, 100 do s = s .. "ab" .. (i % 10) end
  total = total + #s % 1000
  local parts = {}
  for i = 1, 100 do parts[#parts + 1] = "x" .. i .. "," end
  local joined = ""
  for i = 1, #parts, 10 do joined = joined .. parts[i] .. parts[i + 1] end
  total = (total + #joined) % 30000
end
out(total)
