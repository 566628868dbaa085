-- A full collection over about 1 MB of small tables, and a loop that keeps
-- about 40 KB live while making garbage (the heap's peak shows the pacing).
local keep = {}
for round = 1, 4 do
  keep = {}
  for i = 1, 14000 do keep[i] = {i, i + 1} end
  fullgc()
end
keep = nil
fullgc()
local live = {}
local peak = 0
for _ = 1, 60 do
  for i = 1, 1000 do
    live[i % 500 + 1] = {i, i, i}
    local junk = {i}
    if i % 100 == 0 then
      local kb = heapkb()
      if kb > peak then peak = kb end
    end
  end
end
out("peak-kb", peak) -- the heap's peak, not compared between the engines
