-- Hash table reads and writes with string keys.
local keys = {}
for i = 1, 200 do keys[i] = "key" .. i end
local h = {}
for i = 1, 200 do h[keys[i]] = i end
local sum = 0
for pass = 1, 1500 do
  for i = 1, 200 do
    local k = keys[i]
    h[k] = (h[k] + pass) % 512
    sum = (sum + h[k]) % 30000
  end
end
local obj = {x = 1, y = 2, z = 3}
for _ = 1, 100 do
  for i = 1, 1000 do obj.x = obj.y + obj.z obj.y = obj.x % 17 obj.z = obj.y + 1 end
end
out(sum, obj.x)
