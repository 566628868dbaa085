-- Making and calling closures.
local function make_adder(n) return function(x) return x + n end end
local function make_counter()
  local c = 0
  return function() c = c + 1 if c > 1000 then c = 0 end return c end
end
local sum = 0
for _ = 1, 60 do
  for i = 1, 1000 do
    local add = make_adder(i % 100)
    local count = make_counter()
    count()
    sum = (sum + add(count())) % 30000
  end
end
local apply = function(f, v) return f(v) end
for _ = 1, 100 do
  for i = 1, 1000 do sum = (sum + apply(function(v) return v + i end, i % 10)) % 30000 end
end
out(sum)
