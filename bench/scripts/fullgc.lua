-- A full collection before every frame, as the console runs it: a heap of
-- about 2 MB that stays alive (tables with array and hash parts, strings,
-- closures), collected 30 times, with a little garbage made in between.
local world = {}
for i = 1, 4000 do
  local e = {x = i, y = i * 2, name = "e" .. i, tags = {i, i + 1, i + 2, i + 3}}
  e.update = function() return e.x + e.y end
  world[i] = e
end
local checksum = 0
for frame = 1, 30 do
  for i = 1, 200 do local junk = {frame, i} end
  fullgc()
  checksum = (checksum + world[frame * 100].update()) % 10000
end
out(checksum, "heap-kb", heapkb())
