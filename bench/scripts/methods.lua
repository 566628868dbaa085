-- Method calls through __index.
local Point = {}
Point.__index = Point
function Point.new(x, y) return setmetatable({x = x, y = y}, Point) end
function Point:move(dx, dy) self.x = (self.x + dx) % 100 self.y = (self.y + dy) % 100 end
function Point:dot(o) return (self.x * o.x + self.y * o.y) % 1000 end
local Base = {}
Base.__index = Base
function Base:kind() return 1 end
setmetatable(Point, Base)
local a, b = Point.new(1, 2), Point.new(3, 4)
local s = 0
for _ = 1, 150 do
  for i = 1, 1000 do
    a:move(1, 2)
    b:move(2, 1)
    s = (s + a:dot(b) + a:kind()) % 30000
  end
end
out(s)
