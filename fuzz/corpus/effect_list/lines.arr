sparks.vfx spell spark-a, spark-b ; comment
x.vfx weather y
