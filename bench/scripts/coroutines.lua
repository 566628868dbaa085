-- Switching between coroutines.
local function producer(n)
  return cocreate(function()
    for i = 1, n do yield(i % 97) end
    return -1
  end)
end
local total = 0
for round = 1, 4 do
  local cos = {}
  for i = 1, 10 do cos[i] = producer(5000) end
  local live = 10
  while live > 0 do
    live = 0
    for i = 1, 10 do
      local ok, v = coresume(cos[i])
      if v ~= -1 then live = live + 1 total = (total + v) % 30000 end
    end
  end
end
out(total)
